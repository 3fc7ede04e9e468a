#!/usr/bin/env bash
# What the desktop program writes to the disk while a user moves a slider, and what it keeps when it is
# killed. The program from BUILD_DIR runs under Xvfb on a private PulseAudio server; xdotool focuses the
# equalizer tab's left volume slider, then strace counts fsync and rename over MOVES settled moves (three
# quick key steps, then a second's rest each). Then a band of the equalizer is moved and, a second later,
# the program is killed with SIGKILL: the stored selection must name a "Custom.tvh" that is there. A last
# start is ended with SIGINT (Ctrl+C), which must end it with status 0 and the change kept.
# Usage: bench/settings_writes.sh [BUILD_DIR] [MOVES]   (needs strace, Xvfb, xdotool, pulseaudio)
set -euo pipefail
build=$(realpath "${1:-build/release}")
moves=${2:-5}
here=$(cd "$(dirname "$0")" && pwd)
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-writes.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$here/../tools/private_audio_server.sh"
program_pid=
failures=0
trap 'kill "${PRIVATE_DISPLAY_PID:-}" 2>/dev/null || true; private_session_end "$program_pid"' EXIT

# The program beside its guardian, as installed (no presets: a change makes the "Custom" entry).
mkdir -p "$work/bin"
cp "$build/app/tonvex" "$build/tools/tonvex-guardian" "$work/bin/"
program=$work/bin/tonvex
private_display_start "$work" || exit 1
private_server_start
export DISPLAY=$PRIVATE_DISPLAY QT_QPA_PLATFORM=xcb
settings=$XDG_CONFIG_HOME/tonvex
window=
start_program() {
  # With SIGINT as a terminal leaves it (a script's background job inherits it ignored).
  python3 -c 'import os, signal, sys; signal.signal(signal.SIGINT, signal.SIG_DFL); os.execv(sys.argv[1], sys.argv[1:])' \
    "$program" >>"$work/program.log" 2>&1 &
  program_pid=$!
  window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tonvex v1\.0$' | head -n 1) ||
    { cat "$work/program.log" >&2; echo "no window shown" >&2; exit 1; }
  sleep 1
}
click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.3; }
stored() { sed -n "s/^\"$1\"=\"\(.*\)\"$/\1/p" "$settings/user.reg"; }

start_program
click 230 67  # the Equalizer tab
click 43 178  # the left volume slider, focused
sleep 1
strace -f -c -e trace=fsync,rename -p "$program_pid" -o "$work/strace.txt" &
tracer=$!
sleep 1
for _ in $(seq "$moves"); do
  xdotool key Down Down Down
  sleep 1
done
kill -INT "$tracer"
wait "$tracer" 2>/dev/null || true
echo "--- $moves settled volume-slider moves: calls"
awk '$NF == "fsync" || $NF == "rename" { print $NF, $4 }' "$work/strace.txt"
grep -qw fsync "$work/strace.txt" || echo "fsync 0"
grep -qw rename "$work/strace.txt" || echo "rename 0"

echo "--- a band moved, SIGKILL a second later"
click 206 131  # the 160 Hz band's slider
xdotool key Page_Up
sleep 1
kill -KILL "$program_pid"
wait "$program_pid" 2>/dev/null || true
program_pid=
pending=$(stored pending)
if [ "$pending" = 1 ] && [ ! -f "$settings/Custom.tvh" ]; then
  echo "FAIL: pending=1 names a Custom.tvh that is not there"
  failures=$((failures + 1))
else
  echo "ok: pending=${pending:-none}, Custom.tvh $([ -f "$settings/Custom.tvh" ] && echo there || echo absent)"
fi

echo "--- SIGINT"
start_program
click 230 67
click 206 131
xdotool key Page_Up
kill -INT "$program_pid"
status=0
wait "$program_pid" || status=$?
program_pid=
echo "status $status, pending=$(stored pending), Custom.tvh $([ -f "$settings/Custom.tvh" ] && echo there || echo absent)"
[ "$status" -eq 0 ] && [ -f "$settings/Custom.tvh" ] || failures=$((failures + 1))
[ "$failures" -eq 0 ]
