#!/usr/bin/env bash
# Start/exit cycles of the desktop program (tonvex-e2e-driver under Xvfb on a private PulseAudio or PipeWire server, a
# tone playing throughout): in each, a preset is chosen in the toolbar's list and the volume slider moved one
# step, then the program ends, half of the time through the tray menu's Exit and half through SIGTERM. After
# each: exit status 0, the default sink back on Speakers, no virtual sink left, no program process left (the
# guardian included), the settings file complete and loadable (the next start shows the preset and slider
# position of the last, and no damaged copy is ever kept); at the end no growth of files, processes or
# server clients and modules from the first cycle on.
# Usage: bench/cycles.sh [COUNT] [BUILD_DIR] [pulseaudio|pipewire]   (defaults: 100, build/release, pulseaudio)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-100}
build=$(realpath "${2:-$root/build/release}")
PRIVATE_AUDIO_SERVER=${3:-pulseaudio}
driver=$build/tests/app/tonvex-e2e-driver
TONVEX_PACER=$build/tools/tonvex-latency-probe
[ -x "$driver" ] && [ -x "$TONVEX_PACER" ] || { echo "build tonvex-e2e-driver and tonvex-latency-probe first" >&2; exit 1; }
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-cycles.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$root/tools/private_audio_server.sh"
program_pid=
xvfb_pid=
player=
trap 'set +e; [ -n "$player" ] && stop_loop "$player"; exec 5>&-;
      [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; private_session_end "$program_pid"' EXIT
trap 'exit 143' TERM INT  # the EXIT trap cleans up then too

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$driver" "$prefix/bin/"
private_display_start "$work" || exit 1
xvfb_pid=$PRIVATE_DISPLAY_PID
private_server_start
export DISPLAY=$PRIVATE_DISPLAY QT_QPA_PLATFORM=xcb
config=$XDG_CONFIG_HOME/tonvex
sox -q -n -r 48000 -c 2 -b 16 "$work/tone.wav" synth 10 sine 440 vol 0.2
(while :; do paplay "$work/tone.wav" 2>/dev/null || sleep 0.1; done) &
player=$!

answered=0
reply=
send() {  # a command; its answer in $reply
  echo "$1" >&5
  for _ in $(seq 300); do
    if [ "$(wc -l <"$work/out")" -gt "$answered" ]; then
      answered=$((answered + 1))
      reply=$(sed -n "${answered}p" "$work/out")
      return 0
    fi
    sleep 0.02
  done
  reply="(no answer to $1)"
}
ours() {  # processes started from the installation (the program, its guardian)
  local n=0 exe
  for p in /proc/[0-9]*; do
    exe=$(readlink "$p/exe" 2>/dev/null) || continue
    case "$exe" in "$prefix"/*) n=$((n + 1)) ;; esac
  done
  echo "$n"
}
census() {  # what must not grow: files of the user's settings and runtime folders, server clients and modules
  echo "files $(find "$config" "$XDG_RUNTIME_DIR" -xdev 2>/dev/null | wc -l)" \
    "clients $(pactl list short clients | wc -l) modules $(pactl list short modules | wc -l) ours $(ours)"
}

presets=(Rock Jazz Pop Classical Bass Treble Vocal Dance)
failures=0
fail() { echo "FAIL cycle $1: $2" >&2; failures=$((failures + 1)); }
expected_state=
expected_position=
first_census=
for cycle in $(seq "$count"); do
  rm -f "$work/in" && mkfifo "$work/in"
  : >"$work/out"
  answered=0
  "$prefix/bin/tonvex-e2e-driver" <"$work/in" >>"$work/out" 2>>"$work/program.log" &
  program_pid=$!
  exec 5>"$work/in"
  for _ in $(seq 300); do [ -s "$work/out" ] && break; sleep 0.02; done
  [ "$(sed -n 1p "$work/out")" = started ] || { fail "$cycle" "did not start"; cat "$work/program.log" >&2; exit 1; }
  answered=1
  send stats
  position=${reply##* position }
  [ -z "$expected_position" ] || [ "$position" = "$expected_position" ] ||
    fail "$cycle" "slider at $position after the start, $expected_position before the exit"
  send state
  [ -z "$expected_state" ] || [ "${reply%% left0=*}" = "$expected_state" ] ||
    fail "$cycle" "started with \"$reply\", the last run chose \"$expected_state\""
  for _ in $(seq 100); do [ "$(pactl get-default-sink)" = tonvex_brevalto ] && break; sleep 0.05; done
  [ "$(pactl get-default-sink)" = tonvex_brevalto ] || fail "$cycle" "the virtual device did not become the default"
  send "select ${presets[$((cycle % ${#presets[@]}))]}"
  expected_state=${reply%% left0=*}
  # 34 steps toward the lowest stored volume (-34 dB, position 74), then back and forth: each round trip.
  send "slide $([ "$cycle" -le 34 ] || [ $((cycle % 2)) -eq 0 ] && echo up || echo down)"
  expected_position=${reply#position }
  if [ $((cycle % 2)) -eq 1 ]; then
    how="tray Exit"
    echo tray-exit >&5
  else
    how=SIGTERM
    kill -TERM "$program_pid"
  fi
  status=0
  wait "$program_pid" || status=$?
  program_pid=
  exec 5>&-
  [ "$status" -eq 0 ] || fail "$cycle" "$how: exit status $status"
  for _ in $(seq 40); do [ "$(pactl get-default-sink)" = speakers ] && break; sleep 0.05; done
  [ "$(pactl get-default-sink)" = speakers ] || fail "$cycle" "$how: default $(pactl get-default-sink)"
  for _ in $(seq 40); do pactl list short sinks | grep -q tonvex_brevalto || break; sleep 0.05; done
  pactl list short sinks | grep -q tonvex_brevalto && fail "$cycle" "$how: the virtual sink was left"
  for _ in $(seq 40); do [ "$(ours)" -eq 0 ] && break; sleep 0.05; done
  # The presets copied there, the settings file and its lock, a kept configuration: nothing else (no
  # temporary file of a write, no damaged copy set aside by a read).
  [ "$(ours)" -eq 0 ] && [ -z "$(ls -A "$config" | grep -v '^[0-9][0-9]_.*\.tvd$\|^user\.reg$\|^user\.reg\.lock$\|^Custom\.tvh$')" ] ||
    fail "$cycle" "$how: left behind: $(ours) processes; files $(ls -A "$config" | tr '\n' ' ')"
  # Every line of the settings file is one the reader takes.
  grep -qv '^\(; .*\|\[Software\\Brevalto\\Tonvex[^]]*\]\|"[a-zA-Z_0-9]*"=\("[^"]*"\|dword:[0-9a-f]\{8\}\|hex:[0-9a-f,]*\)\|\)$' "$config/user.reg" &&
    fail "$cycle" "user.reg has lines the reader does not take: $(cat "$config/user.reg")"
  [ "$cycle" -eq 1 ] && first_census=$(census)
done
last_census=$(census)
[ "$first_census" = "$last_census" ] || fail "$count" "growth: after the first cycle \"$first_census\", now \"$last_census\""
echo "cycles: $count, $((count - count / 2)) through the tray's Exit, $((count / 2)) through SIGTERM; $failures failed"
echo "after the first cycle: $first_census; after the last: $last_census"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
[ "$failures" -eq 0 ]
