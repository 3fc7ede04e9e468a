#!/usr/bin/env bash
# The running desktop program steered from a script over D-Bus: the installed tonvex under Xvfb on a private
# PulseAudio server and a private session bus. `tonvex-cli control preset Rock` changes the window's preset
# list and the processed sound, `status` prints what the window shows, bypass plays the tones untouched, a
# configuration file loads as Open loads it, an unknown preset is refused in one line, and with no Tonvex on the
# bus `control` exits 3 with one line. With configurations bound to Speakers (Flat) and Headphones (Rock), removing
# Speakers moves the sound to Headphones and loads Rock within a second, heard there; Speakers back loads Flat.
# Usage: run_remote_control.sh BUILD_DIR PATH/TO/tonvex-latency-probe [pulseaudio|pipewire]
set -euo pipefail
build=$(realpath "$1")
TONVEX_PACER=$(realpath "$2")
export PRIVATE_AUDIO_SERVER=${3:-pulseaudio}
here=$(cd "$(dirname "$0")" && pwd)
measure="python3 $here/median_level.py"
. "$here/desktop_session.sh" remote
cli=$prefix/bin/tonvex-cli
desktop_session_start
# The session bus of this test alone (private_server_env named its address; PipeWire's stack runs one there).
if [ ! -S "$XDG_RUNTIME_DIR/bus" ]; then
  setsid dbus-daemon --session --nofork --nopidfile --address="$DBUS_SESSION_BUS_ADDRESS" >/dev/null 2>&1 &
  helpers="$helpers $!"
  for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/bus" ] && break; sleep 0.05; done
fi

control() {  # ARGS: runs tonvex-cli control; sets out, err and status
  status=0
  "$cli" control "$@" >"$work/out" 2>"$work/err" || status=$?
  out=$(cat "$work/out") err=$(cat "$work/err")
}
one_line_refusal() {  # WHAT EXPECTED_STATUS
  if [ "$status" -eq "$2" ] && [ -z "$out" ] && [ "$(wc -l <"$work/err")" -eq 1 ]; then
    pass "$1: status $2, one line: $err"
  else
    fail "$1: status $status, output \"$out\", errors \"$err\""
  fi
}
field() { sed -n "s/^$1: //p" <<<"$out"; }  # NAME: a line of the last status

control status
one_line_refusal "no Tonvex on the bus" 3

# Each output device's configuration, as "Use for This Device" stores it, and a second card, read at a card's pace
# from the start (a null sink nobody reads renders seconds ahead).
mkdir -p "$XDG_CONFIG_HOME/tonvex"
printf '[Software\\Brevalto\\Tonvex]\n"version"="1.0"\n[Software\\Brevalto\\Tonvex\\Devices]\n%s\n%s\n' \
  '"Speakers"="preset:01_Flat"' '"Headphones"="preset:02_Rock"' >"$XDG_CONFIG_HOME/tonvex/user.reg"
pactl load-module module-null-sink sink_name=headphones rate=48000 sink_properties=device.description=Headphones >/dev/null
"$TONVEX_PACER" --pace headphones.monitor >/dev/null 2>&1 &
helpers="$helpers $!"
sleep 2.5

"$prefix/bin/tonvex" >>"$work/program.log" 2>&1 &
program_pid=$!
timeout 20 xdotool search --sync --onlyvisible --name '^Tonvex v1\.0$' >/dev/null ||
  { cat "$work/program.log" >&2; echo "no window shown" >&2; exit 1; }
for _ in $(seq 200); do control status; [ "$status" -eq 0 ] && break; sleep 0.1; done
[ "$status" -eq 0 ] && pass "status answers: $(tr '\n' ';' <<<"$out")" || { fail "status: $status $err"; exit 1; }
[ "$(field "output device")" = Speakers ] && pass "status names the output device" || fail "output device: $out"
first=$(field configuration)

sox -q -n -r 48000 -c 2 -b 16 "$work/tones.wav" synth 2 sine 100 sine 1000 remix 1,2 1,2 vol 0.1
sox -q "$work/tones.wav" -t raw -e signed -b 16 "$work/tones.raw"
played=$($measure "$work/tones.raw" 1000)
record_tones
before_tilt=$tilt

control preset Rock
[ "$status" -eq 0 ] && pass "preset Rock accepted" || fail "preset Rock: $status $err"
control status
[ "$(field configuration)" = Rock ] && [ "$first" != Rock ] && pass "the window's list went from $first to Rock" ||
  fail "configuration after preset Rock: $out"
grep -q '"selection"="02_Rock"' "$XDG_CONFIG_HOME/tonvex/user.reg" && pass "the choice is stored as the list stores it" ||
  fail "selection not stored: $(grep selection "$XDG_CONFIG_HOME/tonvex/user.reg")"
# Rock lifts the lows (+3 dB at 63 Hz, +1 at 160) and lowers 1 kHz (-1 dB).
record_tones
near "$tilt - $before_tilt" 2 1 && pass "Rock tilts the sound: 100 Hz against 1 kHz $before_tilt -> $tilt dB" ||
  fail "the sound did not follow Rock: tilt $before_tilt -> $tilt dB"
rock_tilt=$tilt

control bypass on
control status
[ "$(field bypass)" = on ] && pass "bypass on" || fail "bypass after on: $out"
untouched() { near "$level" "$played" 0.1 && near "$tilt" 0 0.1; }
describe_bypassed() { echo "bypassed, 1 kHz came out at $level dB, tilt $tilt,"; }
measure_again_if_off record_tones untouched "$work/rec.raw" describe_bypassed
untouched && pass "bypassed, the tones play untouched: $level dB, tilt $tilt" ||
  fail "bypassed: 1 kHz at $level dB ($played played), tilt $tilt"
control bypass toggle
[ "$out" = "bypass: off" ] && pass "toggle prints the new state" || fail "toggle: $out $err"

write_configuration "$work/Bright.tva" 65 40 1 \
  "25=-12.00;63=-12.00;160=-12.00;400=0.00;1000=0.00;2500=0.00;6300=0.00;16000=0.00;0;" \
  "25=-12.00;63=-12.00;160=-12.00;400=0.00;1000=0.00;2500=0.00;6300=0.00;16000=0.00;0;"
(cd "$work" && "$cli" control file Bright.tva) && control status && [ "$(field configuration)" = "Custom (Bright)" ] &&
  pass "a configuration file loads as Open loads it (relative path)" || fail "file: $out $err"

echo "--- a configuration per output device"
awaited() {  # NAME: waits up to 2 s for the status to show configuration NAME; sets took (seconds)
  local start=$EPOCHREALTIME
  for _ in $(seq 40); do
    control status
    [ "$(field configuration)" = "$1" ] && break
    sleep 0.05
  done
  took=$(python3 -c "print(round($EPOCHREALTIME - $start, 2))")
  [ "$(field configuration)" = "$1" ]
}
paplay "$work/tones.wav" && paplay "$work/tones.wav" &  # sound plays while the cards come and go
player=$!
sleep 0.5
speakers_module=$(pactl list short modules | awk '/sink_name=speakers/ {print $1}')
pactl unload-module "$speakers_module"
awaited Rock && near "$took" 0.5 0.5 && [ "$(field "output device")" = Headphones ] &&
  pass "Speakers removed: the sound went to Headphones and Rock was loaded after $took s" ||
  fail "Speakers removed: after $took s the status reads $(tr '\n' ';' <<<"$out")"
wait "$player" 2>/dev/null || true
record_tones headphones
heard() { python3 -c "import sys; sys.exit(0 if $level > -40 else 1)"; }  # the tones, not silence
heard && near "$tilt" "$rock_tilt" 0.5 && pass "Headphones play Rock: tilt $tilt dB" ||
  fail "Headphones: 1 kHz at $level dB, tilt $tilt, Rock $rock_tilt"
paplay "$work/tones.wav" && paplay "$work/tones.wav" &
player=$!
sleep 0.5
pactl load-module module-null-sink sink_name=speakers rate=48000 sink_properties=device.description=Speakers >/dev/null
"$TONVEX_PACER" --pace speakers.monitor >/dev/null 2>&1 &
helpers="$helpers $!"
awaited Flat && near "$took" 0.5 0.5 && [ "$(field "output device")" = Speakers ] &&
  pass "Speakers back: the sound returned there and Flat was loaded after $took s" ||
  fail "Speakers back: after $took s the status reads $(tr '\n' ';' <<<"$out")"
wait "$player" 2>/dev/null || true
pactl suspend-sink speakers 1 && pactl suspend-sink speakers 0  # its clock starts again with the pacer reading
record_tones speakers
heard && near "$tilt" "$before_tilt" 0.5 && pass "Speakers play Flat again: tilt $tilt dB" ||
  fail "Speakers: 1 kHz at $level dB, tilt $tilt dB"

control preset "No Such Preset"
one_line_refusal "an unknown preset" 1
control bypass sideways
one_line_refusal "a wrong bypass word" 2

kill -TERM "$program_pid"
wait "$program_pid" 2>/dev/null || true
program_pid=
control status
one_line_refusal "the program has ended, the bus runs on" 3

[ "$failures" -eq 0 ] && echo "remote control test passed" || { echo "$failures failed" >&2; exit 1; }
