#!/usr/bin/env bash
# End-to-end test on a private PulseAudio server: tonvex-cli live is stopped for 0.4 s while a tone plays
# (as a loaded machine, a debugger or a modal dialog would stall it) and continued. The same stream must
# play again by itself after the stall, at its level from before, and the status line must count the
# blocks the stall cost.
# Usage: stall_recovery.sh PATH/TO/tonvex-cli PATH/TO/tonvex-latency-probe
set -euo pipefail
cli=$(realpath "$1")
TONVEX_PACER=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
check="python3 $here/signal_check.py"
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-stall.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$here/../../tools/private_audio_server.sh"

live_pid=
trap 'set +e; [ -n "$live_pid" ] && kill -CONT "$live_pid"; private_session_end "$live_pid"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
near() { python3 -c "import sys; sys.exit(0 if abs($1 - ($2)) <= $3 else 1)"; }
# slice RAW FROM TO: tenths of a second FROM to TO of a raw 48 kHz 16-bit stereo recording
slice() { dd if="$1" bs=19200 skip="$2" count=$(($3 - $2)) status=none; }

private_server_start
"$cli" live >"$work/live.log" 2>&1 &
live_pid=$!
for _ in $(seq 200); do
  [ "$(pactl get-default-sink 2>/dev/null)" = tonvex_brevalto ] && break
  sleep 0.05
done
[ "$(pactl get-default-sink)" = tonvex_brevalto ] || { cat "$work/live.log" >&2; echo "live did not start" >&2; exit 1; }
sleep 2.5  # a null sink made a moment ago renders up to two seconds ahead before it follows its streams

sox -q -n -r 48000 -c 2 -b 16 "$work/tone.wav" synth 9 sine 1000 vol 0.1
parec -d speakers.monitor --raw --format=s16le --rate=48000 --channels=2 --latency-msec=20 >"$work/rec.raw" &
rec=$!
sleep 0.3
paplay "$work/tone.wav" &
player=$!
sleep 3
kill -STOP "$live_pid"
sleep 0.4
kill -CONT "$live_pid"
wait "$player"
sleep 1.2  # a status line after the stall
kill "$rec"
wait "$rec" 2>/dev/null || true

# Times from the start of the recording: the tone from about 0.3 s to 9.3 s, the stall at about 3.3 s.
slice "$work/rec.raw" 10 30 >"$work/before.raw"
slice "$work/rec.raw" 50 85 >"$work/after.raw"
before=$($check level "$work/before.raw" 1000)
after=$($check level "$work/after.raw" 1000)
if near "$after" "$before" 1; then pass "the tone plays again after the stall ($before -> $after dB)"
else fail "after the stall the tone is at $after dB, before it was $before dB"; fi
dropped=$(grep -o 'blocks dropped [0-9]*' "$work/live.log" | tail -n1 | grep -o '[0-9]*$' || echo 0)
if [ "${dropped:-0}" -gt 0 ]; then pass "the status line counts $dropped dropped blocks"
else fail "the status line counts no dropped blocks"; fi
kill -TERM "$live_pid"
wait "$live_pid" || fail "live did not end cleanly"
live_pid=

if [ "$failures" -ne 0 ]; then
  echo "--- live log"; cat "$work/live.log"
  exit 1
fi
echo "stall recovery passed"
