#!/usr/bin/env bash
# Builds Tonvex and runs the live engine (tonvex-cli live) until Ctrl+C: the virtual device becomes the
# default playback device and the reworked sound plays on the output device the program chooses (or --output DEVICE).
# When no audio server is reachable it starts a private one whose sound card is a null sink "Speakers",
# so the program always has a virtual device and an output. Extra arguments go to tonvex-cli live.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${TONVEX_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target tonvex-cli tonvex-latency-probe
cli=$(realpath "$build")/tools/tonvex-cli

if pactl info >/dev/null 2>&1; then
  exec "$cli" live "$@"
fi

echo "No audio server is reachable: starting a private one with a null sink \"Speakers\" as its sound card."
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-audio.XXXXXX)
TONVEX_PACER=$(realpath "$build")/tools/tonvex-latency-probe
# shellcheck source=private_audio_server.sh
. tools/private_audio_server.sh
live_pid=
trap 'private_session_end "$live_pid"' EXIT
private_server_start
echo "Private server: PULSE_SERVER=$PULSE_SERVER (play into it with: PULSE_SERVER=$PULSE_SERVER paplay FILE)"
"$cli" live "$@" &
live_pid=$!
trap 'kill -TERM "$live_pid" 2>/dev/null' INT TERM
status=0
wait "$live_pid" || status=$?
# The first wait returns early when a signal arrives; the second collects the program's own exit.
kill -0 "$live_pid" 2>/dev/null && { wait "$live_pid" || status=$?; }
live_pid=
exit "$status"
