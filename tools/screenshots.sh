#!/usr/bin/env bash
# Renders every panel in English and Portuguese, with non-trivial settings, to PNG files in OUTDIR
# (monitor_en.png, equalizer_pt.png, ...), on Qt's offscreen platform, then photographs the real desktop
# program under Xvfb, driven through its own window, tray icon and menus: its window on each tab, the tray
# menu and every dialog (tools/window_screenshots.sh).
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: $0 OUTDIR" >&2; exit 2; }
outdir=$(realpath -m "$1")
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${TONVEX_BUILD_DIR:-build/release}
generator=()
[ -f "$build/CMakeCache.txt" ] || generator=(-G Ninja)
cmake -S . -B "$build" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target tonvex-panel-screenshots tonvex tonvex-cli tonvex-guardian tonvex-icons \
  tonvex-latency-probe
QT_QPA_PLATFORM=offscreen "$build/tools/tonvex-panel-screenshots" "$outdir"
tools/window_screenshots.sh "$outdir" "$build"
ls "$outdir"/*.png
