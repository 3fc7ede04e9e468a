#!/usr/bin/env bash
# The real desktop program under Xvfb on a private audio server, in English and Portuguese: the main window
# on each tab (window_<tab>_<lang>.png) and the Configure, Output Device, About and update dialogs
# (dialog_<name>_<lang>.png). Called by tools/screenshots.sh.
# Usage: window_screenshots.sh OUTDIR BUILD_DIR
set -euo pipefail
outdir=$(realpath -m "$1")
build=$(realpath "$2")
root=$(cd "$(dirname "$0")/.." && pwd)
TONVEX_PACER=$build/tools/tonvex-latency-probe
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-shots.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$root/tools/private_audio_server.sh"
program_pid=
xvfb_pid=
trap '[ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; private_session_end "$program_pid"' EXIT

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$build/tests/app/tonvex-e2e-driver" "$prefix/bin/"
Xvfb -displayfd 6 -screen 0 1024x768x24 -nolisten tcp 6>"$work/display" 2>/dev/null &
xvfb_pid=$!
for _ in $(seq 400); do [ -s "$work/display" ] && break; sleep 0.05; done
private_server_start
export DISPLAY=:$(cat "$work/display") QT_QPA_PLATFORM=xcb
mkdir -p "$outdir"

for lang in en pt; do
  export XDG_CONFIG_HOME=$work/config-$lang HOME=$work/home-$lang
  mkdir -p "$HOME"
  code=$([ "$lang" = pt ] && echo 22 || echo 9)
  sed -i "s/^\"language\"=.*/\"language\"=\"$code\"/" "$prefix/etc/tonvex/machine.reg"
  rm -f "$work/in" && mkfifo "$work/in"
  : >"$work/out"
  "$prefix/bin/tonvex-e2e-driver" <"$work/in" >>"$work/out" 2>"$work/program-$lang.log" &
  program_pid=$!
  exec 5>"$work/in"
  commands=("select Rock")
  tab=0
  for name in monitor equalizer compression limiter; do
    commands+=("tab $tab" "shot $outdir/window_${name}_$lang.png")
    tab=$((tab + 1))
  done
  commands+=("tab 0" "dialog 32772 $outdir/dialog_configure_$lang.png" "dialog 32774 $outdir/dialog_devices_$lang.png"
             "dialog 57664 $outdir/dialog_about_$lang.png" "dialog 32787 $outdir/dialog_update_$lang.png")
  expected=1
  for command in "${commands[@]}"; do
    echo "$command" >&5
    expected=$((expected + 1))
    for _ in $(seq 200); do [ "$(wc -l <"$work/out")" -ge "$expected" ] && break; sleep 0.05; done
  done
  exec 5>&-
  kill -TERM "$program_pid"
  wait "$program_pid" || true
  program_pid=
  grep -v '^started$' "$work/out" | grep -vq 'saved\|selected' && { cat "$work/out" >&2; exit 1; }
done
ls "$outdir"/window_*.png "$outdir"/dialog_*.png
