#!/usr/bin/env bash
# End-to-end test of the virtual device's life on a private audio server: one instance per user, the
# desktop's sound back however `tonvex-cli live` ends (SIGKILL of its whole process group, of the program and
# one of its two guardians, SIGHUP, SIGPIPE), guardians out of reach of `pkill tonvex` and replaced when they die,
# a virtual sink left by an earlier run adopted or replaced, and the whole audible band through flat settings.
# Usage: run_lifecycle.sh PATH/TO/tonvex-cli PATH/TO/tonvex-latency-probe [pulseaudio|pipewire]
set -euo pipefail
cli=$(realpath "$1")
TONVEX_PACER=$(realpath "$2")
PRIVATE_AUDIO_SERVER=${3:-pulseaudio}
here=$(cd "$(dirname "$0")" && pwd)
. "$here/e2e_session.sh" life

default_sink() { pactl get-default-sink 2>/dev/null || true; }
virtual_sinks() { pactl list short sinks | awk '$2 == "tonvex_brevalto"' || true; }
virtual_module() { pactl list short modules | awk '/sink_name=tonvex_brevalto/ {print $1}'; }

wait_for_default() {  # SINK [TRIES]: the default sink becomes SINK (polled every 20 ms)
  for _ in $(seq "${2:-250}"); do
    [ "$(default_sink)" = "$1" ] && return 0
    sleep 0.02
  done
  return 1
}

start_live() {  # LOG options...: starts live in a process group of its own, as a shell's job would be
  local log=$1
  shift
  setsid "$cli" live "$@" >"$work/$log" 2>&1 &
  program_pid=$!
  wait_for_default tonvex_brevalto || { cat "$work/$log" >&2; echo "live did not take the default sink" >&2; exit 1; }
}

# stopped_orderly SIGNAL: live ends on SIGNAL with status 0, the default back on Speakers, no virtual sink.
stopped_orderly() {
  local status=0
  kill "-$1" "$program_pid"
  wait "$program_pid" || status=$?
  program_pid=
  [ "$status" -eq 0 ] && pass "$1 ends live with status 0" || fail "$1 ends live with status $status"
  desktop_restored "after $1"
}

desktop_restored() {
  [ "$(default_sink)" = speakers ] && pass "$1: default sink back on Speakers" || fail "$1: default sink is $(default_sink)"
  [ -z "$(virtual_sinks)" ] && pass "$1: virtual sink removed" || fail "$1: virtual sink left: $(virtual_sinks)"
}

private_server_start
sox -q -n -r 48000 -c 2 -b 16 "$work/steady.wav" synth 3 sine 440 vol 0.1

# kill_restored_within_2s PIDS...: SIGKILL to PIDS (live among them); the default is back on Speakers and no
# virtual sink is left within 2 s.
kill_restored_within_2s() {
  local start restored=
  start=$(date +%s%N)
  kill -KILL "$@"
  wait "$program_pid" 2>/dev/null || true
  program_pid=
  for _ in $(seq 250); do
    if [ "$(default_sink)" = speakers ] && [ -z "$(virtual_sinks)" ]; then restored=$(date +%s%N); break; fi
    sleep 0.02
  done
  if [ -n "$restored" ] && [ $(( (restored - start) / 1000000 )) -le 2000 ]; then
    pass "desktop restored $(( (restored - start) / 1000000 )) ms after kill $*"
  else
    fail "desktop not restored within 2 s of kill $*"
    desktop_restored "after kill $*"
  fi
}

echo "--- a second instance is refused and changes nothing"
start_live first.log
before="$(default_sink) / $(virtual_sinks)"
status=0
timeout 10 "$cli" live >"$work/second.log" 2>&1 || status=$?
after="$(default_sink) / $(virtual_sinks)"
[ "$status" -ne 0 ] && grep -q "already running (process $program_pid)" "$work/second.log" &&
  pass "second instance refused: $(cat "$work/second.log")" || fail "second instance: status $status, $(cat "$work/second.log")"
[ "$before" = "$after" ] && pass "nothing changed ($after)" || fail "before: $before, after: $after"
[ "$(virtual_sinks | wc -l)" -eq 1 ] || fail "$(virtual_sinks | wc -l) virtual sinks"

echo "--- a second instance with another runtime folder, on the same server, is refused too"
mkdir -p "$work/other-run"
status=0
XDG_RUNTIME_DIR=$work/other-run timeout 10 "$cli" live >"$work/other.log" 2>&1 || status=$?
after="$(default_sink) / $(virtual_sinks)"
[ "$status" -ne 0 ] && grep -q "already running (process $program_pid)" "$work/other.log" &&
  pass "second instance through another runtime folder refused" || fail "other runtime folder: status $status, $(cat "$work/other.log")"
[ "$before" = "$after" ] && pass "nothing changed ($after)" || fail "before: $before, after: $after"

echo "--- SIGKILL of the whole process group: the guardian restores the desktop"
sleep 1
kill_restored_within_2s -- "-$program_pid"
# The lock goes with the guardian: a new instance starts at once.
start_live again.log
stopped_orderly HUP

echo "--- the guardians: named out of reach of a pattern aimed at the program; one that dies is replaced"
guardians() { ps -o pid= --ppid "$program_pid" | tr -d ' ' | sort; }  # live's only children
start_live guarded.log
sleep 0.5
first=$(guardians)
[ "$(echo "$first" | grep -c .)" -eq 2 ] && pass "two guardians" || fail "guardians: $(echo $first)"
for pid in $first; do
  name="$(cat "/proc/$pid/comm") $(tr '\0' ' ' <"/proc/$pid/cmdline")"
  case "$name" in
    *tonvex*) fail "guardian $pid is named $name: pkill tonvex reaches it" ;;
    *) pass "guardian $pid is named $name" ;;
  esac
done
victim=$(echo "$first" | head -n 1)
kill -KILL "$victim"
replaced=
for _ in $(seq 150); do
  now=$(guardians)
  if [ "$(echo "$now" | grep -c .)" -eq 2 ] && ! echo "$now" | grep -qx "$victim"; then replaced=$now; break; fi
  sleep 0.02
done
[ -n "$replaced" ] && pass "a killed guardian was replaced: $(echo $replaced)" || fail "guardian $victim not replaced: $(echo $(guardians))"

echo "--- SIGKILL of the program and a guardian together (by pid): the sound is back on a real sink within 2 s"
victim=$(guardians | head -n 1)
kill_restored_within_2s "$program_pid" $victim
paplay "$work/steady.wav" &
player=$!
sleep 0.5
speakers_index=$(pactl list short sinks | awk '$2 == "speakers" {print $1}')
playing_on=$(pactl list short sink-inputs | awk '{print $2}' | sort -u)
[ "$playing_on" = "$speakers_index" ] && pass "a new stream plays on Speakers" ||
  fail "a new stream plays on sink '$playing_on', Speakers is $speakers_index"
kill "$player" 2>/dev/null || true
wait "$player" 2>/dev/null || true

echo "--- a user service manager that refuses the guardian a scope of its own: it starts without one, once"
# A socket where the manager's would be, with nobody behind it: systemd-run is tried and fails.
mkdir -p "$XDG_RUNTIME_DIR/systemd"
python3 -c "import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])" "$XDG_RUNTIME_DIR/systemd/private"
start_live refused.log
sleep 1.5
settled=$(guardians)
sleep 1
[ "$(echo "$settled" | grep -c .)" -eq 2 ] && [ "$(guardians)" = "$settled" ] &&
  pass "two guardians, the same ones a second later: $(echo $settled)" ||
  fail "guardians $(echo $settled), a second later $(echo $(guardians))"
stopped_orderly TERM
rm -r "$XDG_RUNTIME_DIR/systemd"

echo "--- SIGPIPE: live | head"
( "$cli" live 2>"$work/pipe.err" & echo $! >"$work/pipe.pid"; wait $!; echo $? >"$work/pipe.status" ) |
  head -n 3 >"$work/head.out" &
pipeline=$!
for _ in $(seq 400); do [ -s "$work/pipe.status" ] && break; sleep 0.025; done
[ -s "$work/pipe.status" ] || kill -TERM "$(cat "$work/pipe.pid")" 2>/dev/null || true
wait "$pipeline" 2>/dev/null || true
[ "$(cat "$work/pipe.status" 2>/dev/null)" = 0 ] && pass "live | head ends live with status 0" ||
  fail "live | head: status '$(cat "$work/pipe.status" 2>/dev/null)', $(cat "$work/pipe.err")"
desktop_restored "after SIGPIPE"

echo "--- a virtual sink left by an earlier run"
desc='device.description="Tonvex (Brevalto)"'
leftover=$(pactl load-module module-null-sink sink_name=tonvex_brevalto sink_properties="'$desc'" rate=48000 channels=2)
pactl set-default-sink tonvex_brevalto
start_live adopt.log
sleep 1
if grep -q '^live: output .*(pipewire)' "$work/adopt.log"; then
  # Inside PipeWire's graph the virtual sink is the program's own node: a leftover module goes.
  [ -z "$(virtual_module)" ] && [ "$(virtual_sinks | wc -l)" -eq 1 ] &&
    pass "leftover module replaced by the program's own node" ||
    fail "leftover module $leftover, now module '$(virtual_module)', sinks: $(virtual_sinks)"
else
  [ "$(virtual_module)" = "$leftover" ] && pass "leftover of the output's format adopted" ||
    fail "leftover module $leftover, now $(virtual_module)"
fi
stopped_orderly TERM
pactl load-module module-null-sink sink_name=tonvex_brevalto sink_properties="'$desc'" rate=44100 channels=1 >/dev/null
start_live replace.log
sleep 1
virtual_sinks | grep -q "2ch 48000Hz" && [ "$(virtual_sinks | wc -l)" -eq 1 ] &&
  pass "leftover at 44.1 kHz mono replaced: $(virtual_sinks)" || fail "virtual sinks: $(virtual_sinks)"

stopped_orderly INT

echo "--- the default goes back to the sink that was the default, not to the output"
pactl load-module module-null-sink sink_name=headphones sink_properties=device.description=Headphones >/dev/null
pactl set-default-sink headphones
start_live headphones.log --output Speakers
kill -TERM "$program_pid"
wait "$program_pid" || fail "live did not end cleanly"
program_pid=
[ "$(default_sink)" = headphones ] && pass "default back on Headphones" || fail "default sink is $(default_sink)"
pactl set-default-sink speakers

echo "--- two started together through different runtime folders: exactly one runs"
mkdir -p "$work/run-a" "$work/run-b"
# Both still reach the same server: PipeWire's own socket is found through PIPEWIRE_RUNTIME_DIR.
export PIPEWIRE_RUNTIME_DIR=$XDG_RUNTIME_DIR
XDG_RUNTIME_DIR=$work/run-a setsid "$cli" live >"$work/together-a.log" 2>&1 &
together_a=$!
XDG_RUNTIME_DIR=$work/run-b setsid "$cli" live >"$work/together-b.log" 2>&1 &
together_b=$!
sleep 3
running=0
for pid in $together_a $together_b; do kill -0 "$pid" 2>/dev/null && running=$((running + 1)); done
[ "$running" -eq 1 ] && [ "$(virtual_sinks | wc -l)" -eq 1 ] && pass "one of two started together runs" ||
  fail "$running of two started together run: $(cat "$work/together-a.log" "$work/together-b.log")"
for pid in $together_a $together_b; do kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; done
desktop_restored "after the two started together"

echo "--- flat settings pass the audible band"
flat="25=0.00;63=0.00;160=0.00;400=0.00;1000=0.00;2500=0.00;6300=0.00;16000=0.00;0;"
write_configuration "$work/flat.tva" 96 96 1.00 "$flat" "$flat"
start_live flat.log --config "$work/flat.tva"
sleep 2.5  # a null sink made a moment ago renders ahead before it follows its streams
# flat_gain FREQ: plays a 3 s tone at FREQ into the virtual device and prints the gain heard on Speakers, in dB.
flat_gain() {
  local freq=$1 rec input output
  parec -d speakers.monitor --raw --format=s16le --rate=48000 --channels=2 --latency-msec=20 >"$work/out$freq.raw" &
  rec=$!
  sleep 0.3
  paplay "$work/in$freq.wav"
  sleep 0.5
  kill "$rec"
  wait "$rec" 2>/dev/null || true
  input=$(python3 "$here/median_level.py" <(sox "$work/in$freq.wav" -t raw -) "$freq")
  output=$(python3 "$here/median_level.py" "$work/out$freq.raw" "$freq")
  python3 -c "print('%.2f' % ($output - ($input)))"
}
measure_flat() { gain=$(flat_gain "$freq"); }
flat_passes() { near "$gain" 0 0.5; }
describe_flat() { echo "$freq Hz came out at $gain dB"; }
for freq in 20 1000 19000 20000; do
  sox -q -n -r 48000 -c 2 -b 16 "$work/in$freq.wav" synth 3 sine "$freq" vol 0.1
  measure_again_if_off measure_flat flat_passes "$work/out$freq.raw" describe_flat
  if flat_passes; then pass "$freq Hz through flat settings: $gain dB"; else fail "$freq Hz: $gain dB, not within 0.5"; fi
done
stopped_orderly TERM

if [ "$failures" -ne 0 ]; then
  for log in "$work"/*.log; do echo "--- $log"; cat "$log"; done
  exit 1
fi
echo "all virtual-device checks passed"
