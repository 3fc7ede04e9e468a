#!/usr/bin/env bash
# Renders every panel in English and Portuguese, with non-trivial settings, to PNG files in OUTDIR
# (monitor_en.png, equalizer_pt.png, ...), on Qt's offscreen platform: no display is needed.
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
outdir=$(realpath -m "$1")
cd "$(dirname "$0")/.."
build=${TONVEX_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target tonvex-panel-screenshots
QT_QPA_PLATFORM=offscreen "$build/tools/tonvex-panel-screenshots" "$outdir"
ls "$outdir"/*.png
