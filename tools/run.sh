#!/usr/bin/env bash
# Builds Tonvex, installs it into <build>/install and starts the desktop program (tonvex); without a display
# it says so and runs the live engine without a window (tonvex-cli live) until Ctrl+C instead. Either way the
# virtual device becomes the default playback device and the reworked sound plays on the output device the
# program chooses. When no audio server is reachable it starts a private one whose sound card is a null sink
# "Speakers", so the program always has a virtual device and an output. Extra arguments go to tonvex-cli live.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=${TONVEX_BUILD_DIR:-build/release}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)" --target tonvex tonvex-cli tonvex-guardian tonvex-icons tonvex-latency-probe
cmake --install "$build" --prefix "$build/install" >/dev/null
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  program=$(realpath "$build")/install/bin/tonvex
  set --
else
  echo "No display is available (neither DISPLAY nor WAYLAND_DISPLAY is set): running tonvex-cli live instead."
  program=$(realpath "$build")/install/bin/tonvex-cli
  set -- live "$@"
fi
cli=$program

if pactl info >/dev/null 2>&1; then
  exec "$cli" "$@"
fi

echo "No audio server is reachable: starting a private one with a null sink \"Speakers\" as its sound card."
# The private server gets a world of its own (home, runtime folder, no display); the program keeps the caller's:
# its display, its session bus, its settings. Only the way to the audio server changes for it.
caller_env=()
for name in HOME XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_STATE_HOME DISPLAY WAYLAND_DISPLAY XAUTHORITY \
  DBUS_SESSION_BUS_ADDRESS PULSE_RUNTIME_PATH PULSE_STATE_PATH PIPEWIRE_REMOTE; do
  if [ -n "${!name+set}" ]; then caller_env+=("$name=${!name}"); else caller_env=(-u "$name" "${caller_env[@]}"); fi
done
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-audio.XXXXXX)
TONVEX_PACER=$(realpath "$build")/tools/tonvex-latency-probe
# shellcheck source=private_audio_server.sh
. tools/private_audio_server.sh
live_pid=
trap 'private_session_end "$live_pid"' EXIT
private_server_start
echo "Private server: PULSE_SERVER=$PULSE_SERVER (play into it with: PULSE_SERVER=$PULSE_SERVER paplay FILE)"
env "${caller_env[@]}" PULSE_SERVER="$PULSE_SERVER" PIPEWIRE_RUNTIME_DIR="$PRIVATE_AUDIO_DIR/run" "$cli" "$@" &
live_pid=$!
trap 'kill -TERM "$live_pid" 2>/dev/null' INT TERM
status=0
wait "$live_pid" || status=$?
# A wait that a trapped signal interrupts returns 128 + the signal's number, whether or not the program has
# ended by then; waiting once more gives the program's own exit status (bash keeps it for an ended child).
if [ "$status" -gt 128 ]; then
  status=0
  wait "$live_pid" || status=$?
fi
live_pid=
exit "$status"
