#!/usr/bin/env bash
# Churn under the running desktop program (tonvex-e2e-driver under Xvfb, on a private server with two real
# sinks, Speakers and Headphones): COUNT server restarts, COUNT removals and returns of the sink the program
# plays on, COUNT changes of the default sink by another program, COUNT format changes of the played stream
# (44.1/48/96 kHz, mono/stereo). After each, a new tone is played into the default sink and
# bench/sound_watch.py measures the time until it is heard on a real sink, meanwhile checking that the
# program never plays into the virtual device and that no real sink's volume changes. At the end the program
# is ended (SIGTERM): the default must be back on Speakers and the sinks must be Speakers and Headphones only;
# while it ran, after the last event, exactly one virtual sink.
# Fails when an event is not recovered within 2 s (CHURN_LIMIT seconds if set) or a check fails.
# Usage: bench/churn.sh [COUNT] [BUILD_DIR] [pulseaudio|pipewire]   (defaults: 10, build/release, pulseaudio)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-10}
build=$(realpath "${2:-$root/build/release}")
PRIVATE_AUDIO_SERVER=${3:-pulseaudio}
driver=$build/tests/app/tonvex-e2e-driver
TONVEX_PACER=$build/tools/tonvex-latency-probe
[ -x "$driver" ] && [ -x "$TONVEX_PACER" ] || { echo "build tonvex-e2e-driver and tonvex-latency-probe first" >&2; exit 1; }
watch="python3 $root/bench/sound_watch.py"
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-churn.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$root/tools/private_audio_server.sh"
program_pid=
xvfb_pid=
player=
declare -A pacers=()
stop_player() {
  [ -n "$player" ] && stop_loop "$player"
  player=
  return 0
}
cleanup() {
  set +e  # whatever has already ended, the rest is still cleaned up
  stop_player
  for pid in "${pacers[@]}"; do kill "$pid" 2>/dev/null; done
  exec 5>&-
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  private_session_end "$program_pid"
}
trap cleanup EXIT
trap 'exit 143' TERM INT  # the EXIT trap cleans up then too

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$driver" "$prefix/bin/"
private_display_start "$work" || exit 1
xvfb_pid=$PRIVATE_DISPLAY_PID

volumes="speakers=80,headphones=65"
# A fresh null sink has rendered two seconds ahead before its pacer reads it, and plays nothing new until that
# time has passed, which no sound card does: once the pacer reads it, its clock starts again (on resume).
restart_clock() {  # SINK
  for _ in $(seq 40); do
    pactl -f json list source-outputs | python3 -c "import json,sys
sys.exit(0 if any(o['properties'].get('media.name') == 'pacer' and o['source'] == int(sys.argv[1])
                  for o in json.load(sys.stdin)) else 1)" \
      "$(pactl -f json list sources | python3 -c "import json,sys
print(next((s['index'] for s in json.load(sys.stdin) if s['name'] == sys.argv[1]), -1))" "$1.monitor")" && break
    sleep 0.05
  done
  pactl suspend-sink "$1" 1 && pactl suspend-sink "$1" 0
}
card() {  # NAME DESCRIPTION PERCENT: a real sink made (again), paced like a card from its first moment
  [ -n "${pacers[$1]:-}" ] && kill "${pacers[$1]}" 2>/dev/null && wait "${pacers[$1]}" 2>/dev/null
  pactl load-module module-null-sink "sink_name=$1" rate=48000 "sink_properties=device.description=$2" >/dev/null
  "$TONVEX_PACER" --pace "$1.monitor" &
  pacers[$1]=$!
  restart_clock "$1"
  pactl set-sink-volume "$1" "$3%"
}
server_up() {
  private_server_start
  restart_clock speakers
  pactl set-sink-volume speakers 80%
  card headphones Headphones 65
}
server_up
export DISPLAY=$PRIVATE_DISPLAY QT_QPA_PLATFORM=xcb

rm -f "$work/in" && mkfifo "$work/in"
"$prefix/bin/tonvex-e2e-driver" <"$work/in" >"$work/out" 2>"$work/program.log" &
program_pid=$!
exec 5>"$work/in"
for _ in $(seq 200); do [ "$(pactl get-default-sink 2>/dev/null)" = tonvex_brevalto ] && break; sleep 0.05; done
sleep 2.5  # a fresh null sink renders ahead before it follows its streams

# The tones, one per event, in the formats the format changes go through.
formats=("44100 1" "48000 2" "96000 2" "44100 2" "96000 1" "48000 1")
tone=0
play_tone() {  # [RATE CHANNELS]: a new tone (its own frequency) into the default sink, looped until stopped
  stop_player
  tone=$((tone + 1))
  frequency=$((300 + 70 * tone))
  local format=(${1:-48000} ${2:-2})
  sox -q -n -r "${format[0]}" -c "${format[1]}" -b 16 "$work/tone.wav" synth 5 sine "$frequency" vol 0.3
  (while :; do paplay "$work/tone.wav" 2>/dev/null || sleep 0.05; done) &
  player=$!
}

failures=0
times=()
recovered() {  # EVENT [THROUGH]: the new tone heard on a real sink (through the program unless THROUGH is 0)
  local result status=0          # within 2 s, nothing wrong meanwhile
  result=$(PRIVATE_AUDIO_SERVER=$PRIVATE_AUDIO_SERVER $watch "$frequency" 6 "$program_pid" "$volumes" "${2:-1}") || status=$?
  local seconds=${result#heard }
  seconds=${seconds%% *}
  if [ "$status" -eq 0 ] && python3 -c "import sys; sys.exit(0 if $seconds <= ${CHURN_LIMIT:-2} else 1)"; then
    times+=("$1:$seconds")
  else
    echo "FAIL: $1: $result" >&2
    failures=$((failures + 1))
    times+=("$1:FAIL")
  fi
  kill -0 "$program_pid" || { echo "FAIL: the program ended at $1" >&2; exit 1; }
}
output_module() {  # the module and name of the sink the program plays on (waits up to 2 s for its output)
  local sink=
  for _ in $(seq 20); do
    sink=$(python3 "$root/tests/e2e/output_sink.py" "$program_pid")
    [ "$sink" != none ] && break
    sleep 0.1
  done
  pactl -f json list sinks | python3 -c "import json,sys
for s in json.load(sys.stdin):
    if s['name'] == '$sink': print(s['owner_module'], s['name'])"
}

play_tone
recovered start
for i in $(seq "$count"); do
  stop_player
  private_server_stop
  server_up
  play_tone
  recovered "restart$i"
done
for i in $(seq "$count"); do
  read -r module name < <(output_module) || { echo "FAIL: the program plays on no sink" >&2; pactl list sink-inputs >&2; exit 1; }
  stop_player
  pactl unload-module "$module"
  play_tone
  recovered "remove-$name$i"
  if [ "$name" = headphones ]; then card headphones Headphones 65; else card speakers Speakers 80; fi
  play_tone
  recovered "return-$name$i"
done
defaults=(headphones tonvex_brevalto speakers tonvex_brevalto)
for i in $(seq "$count"); do
  stop_player
  pactl set-default-sink "${defaults[$((i % 4))]}"
  play_tone
  # A real sink chosen by the user plays the sound directly; the program does not take the role back.
  recovered "default-${defaults[$((i % 4))]}$i" "$([ "${defaults[$((i % 4))]}" = tonvex_brevalto ] && echo 1 || echo 0)"
done
pactl set-default-sink tonvex_brevalto
for i in $(seq "$count"); do
  play_tone ${formats[$((i % 6))]}
  recovered "format-${formats[$((i % 6))]// /Hz-}ch$i"
done
stop_player

sinks=$(pactl list short sinks | awk '{print $2}' | sort | tr '\n' ' ')
[ "$sinks" = "headphones speakers tonvex_brevalto " ] || { echo "FAIL: sinks while running: $sinks" >&2; failures=$((failures + 1)); }
kill -TERM "$program_pid"
wait "$program_pid" || { echo "FAIL: the program ended with status $?" >&2; failures=$((failures + 1)); }
program_pid=
for _ in $(seq 40); do [ "$(pactl get-default-sink)" = speakers ] && break; sleep 0.05; done
[ "$(pactl get-default-sink)" = speakers ] || { echo "FAIL: default after exit: $(pactl get-default-sink)" >&2; failures=$((failures + 1)); }
sinks=$(pactl list short sinks | awk '{print $2}' | sort | tr '\n' ' ')
[ "$sinks" = "headphones speakers " ] || { echo "FAIL: sinks after exit: $sinks" >&2; failures=$((failures + 1)); }

echo "server: $PRIVATE_AUDIO_SERVER; load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "seconds until sound was back on a real sink:"
printf '  %s\n' "${times[@]}" | column -c 120
python3 - "${times[@]}" <<'PY'
import statistics, sys
values = [float(t.split(":")[1]) for t in sys.argv[1:] if not t.endswith("FAIL")]
if values:
    print("recovered %d of %d; median %.2f s, max %.2f s" % (len(values), len(sys.argv) - 1, statistics.median(values), max(values)))
PY
[ "$failures" -eq 0 ] || { echo "churn: $failures failed" >&2; exit 1; }
echo "churn: all recovered"
