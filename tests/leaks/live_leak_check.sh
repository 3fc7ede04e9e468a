#!/usr/bin/env bash
# `tonvex-cli live` from the AddressSanitizer build through a whole life on a private PulseAudio server: start,
# sound through it, a server restart under it, SIGTERM. Its leak checker runs at exit; the test fails on any
# report, a non-zero status or a virtual sink left behind. Suppressions (live_leak.supp) cover only libraries
# that are not ours, each with the reason.
# Usage: live_leak_check.sh PATH/TO/tonvex-cli PATH/TO/tonvex-latency-probe
set -euo pipefail
cli=$(realpath "$1")
TONVEX_PACER=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-leaks.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$here/../../tools/private_audio_server.sh"
live=
trap 'private_session_end "$live"' EXIT
private_server_start
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:exitcode=23
export LSAN_OPTIONS=suppressions=$here/live_leak.supp:print_suppressions=1
sox -q -n -r 48000 -c 2 -b 16 "$work/tone.wav" synth 2 sine 1000 vol 0.2

"$cli" live >"$work/live.out" 2>"$work/live.err" &
live=$!
for _ in $(seq 200); do [ "$(pactl get-default-sink 2>/dev/null)" = tonvex_brevalto ] && break; sleep 0.05; done
paplay "$work/tone.wav"
private_server_stop
private_server_start
for _ in $(seq 200); do [ "$(pactl get-default-sink 2>/dev/null)" = tonvex_brevalto ] && break; sleep 0.05; done
paplay "$work/tone.wav"
status=0
kill -TERM "$live"
wait "$live" || status=$?
live=
cat "$work/live.err" >&2
[ "$status" -eq 0 ] || { echo "FAIL: tonvex-cli live ended with status $status" >&2; exit 1; }
grep -q "LeakSanitizer" "$work/live.err" && { echo "FAIL: leaks reported" >&2; exit 1; }
pactl list short sinks | grep -q tonvex_brevalto && { echo "FAIL: the virtual sink was left" >&2; exit 1; }
echo "no leaks; status 0; $(grep -c '^format' "$work/live.out") status lines"
