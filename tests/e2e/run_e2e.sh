#!/usr/bin/env bash
# End-to-end test of the live engine on a private audio server: known signals are played into the default
# sink (the virtual device, while tonvex-cli live runs) and recorded from the monitor of "Speakers".
# Usage: run_e2e.sh PATH/TO/tonvex-cli PATH/TO/tonvex-latency-probe [pulseaudio|pipewire]
set -euo pipefail
cli=$(realpath "$1")
TONVEX_PACER=$(realpath "$2")
PRIVATE_AUDIO_SERVER=${3:-pulseaudio}
here=$(cd "$(dirname "$0")" && pwd)
check="python3 $here/signal_check.py"
# A tone's level as the median over its 20 ms windows: a gap on a loaded machine does not pass for a wrong gain.
level_of="python3 $here/median_level.py"
. "$here/e2e_session.sh" e2e
below() { python3 -c "import sys; sys.exit(0 if $1 < $2 else 1)"; }

wait_for_default() {  # the virtual device has become the default sink
  for _ in $(seq 200); do
    [ "$(pactl get-default-sink 2>/dev/null)" = tonvex_brevalto ] && return 0
    sleep 0.05
  done
  return 1
}

start_live() {  # options for tonvex-cli live...
  "$cli" live "$@" >"$work/live.log" 2>&1 &
  program_pid=$!
  wait_for_default || { cat "$work/live.log" >&2; echo "live did not take the default sink" >&2; exit 1; }
  # A null sink made a moment ago renders up to two seconds ahead before it follows its streams.
  sleep 2.5
}

stop_live() {
  kill -TERM "$program_pid"
  local status=0
  wait "$program_pid" || status=$?
  program_pid=
  return $status
}

tone() {  # name frequency amplitude seconds
  sox -q -n -r 48000 -c 2 -b 16 "$work/$1.wav" synth "$4" sine "$2" vol "$3"
}

record() {  # name [sink]: plays $work/name.wav into the default sink and records the sink (Speakers) meanwhile
  parec -d "${2:-speakers}.monitor" --raw --format=s16le --rate=48000 --channels=2 --latency-msec=20 >"$work/$1.raw" &
  local rec=$!
  sleep 0.3
  paplay "$work/$1.wav"
  sleep 0.5
  kill "$rec"
  wait "$rec" 2>/dev/null || true
}

listen() {  # name sink: records the sink for 1.5 s
  parec -d "$2.monitor" --raw --format=s16le --rate=48000 --channels=2 --latency-msec=20 >"$work/$1.raw" &
  local rec=$!
  sleep 1.5
  kill "$rec"
  wait "$rec" 2>/dev/null || true
}

output_sink() { python3 "$here/output_sink.py"; }  # the sink the program's output plays on, "none" without one
# The backend live chose: "pipewire" (inside the graph) or "pulse".
live_backend() { sed -n 's/^live: output .* (\(.*\)); stop.*/\1/p' "$work/live.log"; }

expect_output() {  # sink what: waits up to 5 s for the output to play on the sink (or "none")
  local now=
  for _ in $(seq 50); do
    now=$(output_sink)
    [ "$now" = "$1" ] && { pass "$2: output on $1"; return 0; }
    sleep 0.1
  done
  fail "$2: output on $now, not $1"
}

null_sink() {  # name description: loads a null sink, prints its module
  pactl load-module module-null-sink "sink_name=$1" rate=48000 "sink_properties=device.description=$2"
}

remember() {  # the user's settings with the product key, remembering output device $1 (none if empty)
  mkdir -p "$XDG_CONFIG_HOME/tonvex"
  { echo '[Software\Brevalto\Tonvex]'; [ -z "$1" ] || printf '"device"="%s"\n' "$1"; } >"$XDG_CONFIG_HOME/tonvex/user.reg"
}
remembered() { sed -n 's/^"device"="\(.*\)"$/\1/p' "$XDG_CONFIG_HOME/tonvex/user.reg"; }

private_server_start

# An equalizer configuration with +6 dB at 1 kHz and every other band flat.
bands="25=0.00;63=0.00;160=0.00;400=0.00;1000=6.00;2500=0.00;6300=0.00;16000=0.00;0;"
write_configuration "$work/boost.tva" 96 96 1.00 "$bands" "$bands"

tone in1k 1000 0.1 3
tone in100 100 0.1 3
tone loud 1000 0.9 3
tone half 1000 0.45 3
tone long 1000 0.1 30
input=$($level_of <(sox "$work/in1k.wav" -t raw -) 1000)

echo "--- equalizer: +6 dB at 1000 Hz"
start_live --config "$work/boost.tva"
# Made without rewinds, its sound comes in whole periods (a server that knows the argument must get it).
made=$(pactl list modules short | grep "sink_name=tonvex_brevalto" || true)
if [ "$(live_backend)" = pipewire ]; then
  # In the graph the sink is the program's own node, and its output is linked to Speakers.
  [ -z "$made" ] && pass "virtual sink is the program's own node" || fail "virtual sink loaded as a module: $made"
else
  case "$made" in *norewinds=1*) pass "virtual sink made without rewinds" ;; *) fail "virtual sink made as: $made" ;; esac
fi
measure_gains() {
  record in1k
  record in100
  gain1k=$(python3 -c "print($($level_of "$work/in1k.raw" 1000) - ($input))")
  gain100=$(python3 -c "print($($level_of "$work/in100.raw" 100) - ($input))")
}
gains_right() { near "$gain1k" 6 0.5 && near "$gain100" 0 0.5; }
describe_gains() { echo "1 kHz came out raised by $gain1k dB and 100 Hz changed by $gain100 dB,"; }
measure_again_if_off measure_gains gains_right "$work/in100.raw" describe_gains
stop_live || fail "live did not end cleanly"
if near "$gain1k" 6 0.5; then pass "1 kHz raised by $gain1k dB"; else fail "1 kHz raised by $gain1k dB, not 6 +- 0.5"; fi
if near "$gain100" 0 0.5; then pass "100 Hz changed by $gain100 dB"; else fail "100 Hz changed by $gain100 dB, not within 0.5"; fi
[ "$(pactl get-default-sink)" = speakers ] && pass "default sink handed back to Speakers" || fail "default sink is $(pactl get-default-sink)"
pactl list short sinks | grep -q tonvex_brevalto && fail "the virtual sink was left behind" || pass "virtual sink removed at exit"

echo "--- volume at the bottom"
start_live --volume-left -58 --volume-right -58  # the sliders' lowest position
record in1k
stop_live || fail "live did not end cleanly"
peak=$($check peak "$work/in1k.raw")
if below "$peak" -90; then pass "silence (peak $peak dB)"; else fail "peak $peak dB with the volume at the bottom"; fi

echo "--- limiter at 80 dB SPL"
start_live --limit-left 80 --limit-right 80
record loud
record half
stop_live || fail "live did not end cleanly"
# The limiter holds the tone's peaks at the limit: 80 - 96 = -16 dB of full scale.
loudHeld=$($level_of "$work/loud.raw" 1000)
halfHeld=$($level_of "$work/half.raw" 1000)
if near "$loudHeld" -16 0.5; then pass "loud tone held at $loudHeld dB"; else fail "loud tone at $loudHeld dB, not -16 +- 0.5"; fi
if near "$halfHeld" "$loudHeld" 0.5; then pass "a 6 dB quieter tone is held at the same level ($halfHeld dB)"; else fail "quieter tone at $halfHeld dB"; fi

echo "--- sound comes through as soon as the program has started"
# The virtual sink is made at the start; a sink made without a low-latency reader would play nothing new for
# up to two seconds.
"$cli" live >"$work/live.log" 2>&1 &
program_pid=$!
wait_for_default || { cat "$work/live.log" >&2; echo "live did not take the default sink" >&2; exit 1; }
paplay "$work/long.wav" &
player=$!
heard=$(python3 "$here/../../bench/sound_watch.py" 1000 4 "$program_pid" "speakers=100" 1) || true
kill "$player" 2>/dev/null
wait "$player" 2>/dev/null || true
stop_live || fail "live did not end cleanly"
seconds=${heard#heard }
seconds=${seconds%% *}
if [ "${heard%% *}" = heard ] && below "$seconds" 0.5; then pass "$heard s after the start"; else fail "at the start: $heard"; fi


echo "--- the server restarts under the running program"
start_live
record in1k
before=$($level_of "$work/in1k.raw" 1000)
private_server_stop
sleep 1
private_server_start
wait_for_default || fail "live did not take the default sink of the new server"
sleep 2.5
record in1k
after=$($level_of "$work/in1k.raw" 1000)
kill -0 "$program_pid" 2>/dev/null && pass "live survived the restart" || fail "live ended with the server"
if near "$after" "$before" 0.5; then pass "sound comes through again ($before -> $after dB)"; else fail "after the restart $after dB, before $before dB"; fi
stop_live || fail "live did not end cleanly after the restart"

echo "--- the sink's volume belongs to the user"
pactl set-sink-volume speakers 30%
start_live
record in1k
during=$(pactl get-sink-volume speakers)
stop_live || fail "live did not end cleanly"
for when in "during playback:$during" "after exit:$(pactl get-sink-volume speakers)"; do
  case "$when" in *" 30% "*) pass "Speakers at 30 % ${when%%:*}" ;; *) fail "Speakers ${when%%:*}: ${when#*:}" ;; esac
done
pactl set-sink-volume speakers 100%

echo "--- which output: remembered device, else the default at start, --output for one run only"
headphones=$(null_sink headphones Headphones)
choose() {  # remembered-device default-at-start expected-sink what [live options...]
  remember "$1"
  pactl set-default-sink "$2"
  start_live "${@:5}"
  paplay "$work/in1k.wav" &
  expect_output "$3" "$4"
  wait $!
  stop_live || fail "$4: live did not end cleanly"
}
choose "" headphones headphones "nothing remembered, Headphones default"
[ "$(remembered)" = Headphones ] && pass "the choice is remembered" || fail "remembered \"$(remembered)\""
choose Speakers headphones speakers "Speakers remembered, Headphones default"
choose Speakers speakers headphones "--output Headphones" --output Headphones
[ "$(remembered)" = Speakers ] && pass "--output stores nothing" || fail "--output stored \"$(remembered)\""

echo "--- the output follows its sink, never onto the virtual device"
start_live --output Headphones
paplay "$work/long.wav" &
player=$!
expect_output headphones "at start"
pactl unload-module "$headphones"
expect_output speakers "Headphones unplugged"
listen moved speakers
headphones=$(null_sink headphones Headphones)
expect_output headphones "Headphones back"
sleep 2.5  # the new sink renders ahead at first
listen back headphones
# The sound is there at its level; 3 dB leave room for a dropout of a loaded machine within the recording.
for name in moved back; do
  level=$($level_of "$work/$name.raw" 1000)
  near "$level" "$input" 3 && pass "sound plays after \"$name\" ($level dB)" || fail "after \"$name\": $level dB, not $input"
done
pactl unload-module "$headphones"
# Speakers too: only the virtual sink is left.
pactl unload-module "$(pactl list short modules | awk '/sink_name=speakers/ {print $1}')"
pactl list short sinks | grep -qv tonvex_brevalto && fail "a real sink is still there"
expect_output none "no real sink left"
kill -0 "$program_pid" 2>/dev/null && pass "live runs on without a sink" || fail "live ended without a sink"
null_sink speakers Speakers >/dev/null
expect_output speakers "Speakers plugged in"
sleep 2.5
listen returned speakers
level=$($level_of "$work/returned.raw" 1000)
near "$level" "$input" 3 && pass "sound on the new Speakers ($level dB)" || fail "new Speakers: $level dB, not $input"
kill "$player" 2>/dev/null; wait "$player" 2>/dev/null || true
stop_live || fail "live did not end cleanly after the sinks came and went"

if [ "$failures" -ne 0 ]; then
  echo "--- live log"; cat "$work/live.log"
  exit 1
fi
echo "all end-to-end checks passed"
