#!/usr/bin/env bash
# End-to-end test of the desktop program under Xvfb on a private PulseAudio server: the virtual device becomes
# the default sink, a tone played into it comes out on Speakers, a preset chosen in the toolbar's list changes
# what is heard, an output device chosen while sound plays takes the sound over at once (within 0.5 s, no gap
# over 50 ms), the tray's Exit, SIGTERM and SIGINT keep a modified configuration in "Custom.tvh" and give the default
# back, and a restart shows the custom entry with its modified marker and the same curve.
# Usage: run_desktop_e2e.sh BUILD_DIR PATH/TO/tonvex-e2e-driver PATH/TO/tonvex-latency-probe
set -euo pipefail
build=$(realpath "$1")
driver=$(realpath "$2")
TONVEX_PACER=$(realpath "$3")
here=$(cd "$(dirname "$0")" && pwd)
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-desk.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$here/../../tools/private_audio_server.sh"

program_pid=
xvfb_pid=
pacer=
failures=0
cleanup() {
  set +e  # whatever has already ended, the rest is still cleaned up
  exec 5>&-
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  [ -n "$pacer" ] && kill "$pacer" 2>/dev/null
  private_session_end "$program_pid"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
differ() { python3 -c "import sys; sys.exit(0 if abs($1 - ($2)) >= $3 else 1)"; }

# The program as installed, with the driver beside it (the guardian and the presets are found from there).
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$driver" "$prefix/bin/"
export XDG_CONFIG_HOME=$work/config HOME=$work/home QT_QPA_PLATFORM=xcb
mkdir -p "$HOME"

private_display_start "$work" || exit 1
xvfb_pid=$PRIVATE_DISPLAY_PID
private_server_start
# The private server keeps the program off the display; the program itself needs it.
export DISPLAY=$PRIVATE_DISPLAY
export XDG_CONFIG_HOME=$work/config HOME=$work/home
mkdir -p "$HOME"

start_program() {
  rm -f "$work/in" && mkfifo "$work/in"
  : >"$work/out"
  "$prefix/bin/tonvex-e2e-driver" <"$work/in" >>"$work/out" 2>"$work/program.log" &
  program_pid=$!
  exec 5>"$work/in"
  answer || { cat "$work/program.log" >&2; echo "the program did not start" >&2; exit 1; }
}

answered=0
reply=
answer() {  # waits for the program's next line and puts it in $reply (no subshell: the count must stay)
  for _ in $(seq 300); do
    if [ "$(wc -l <"$work/out")" -gt "$answered" ]; then
      answered=$((answered + 1))
      reply=$(sed -n "${answered}p" "$work/out")
      return 0
    fi
    sleep 0.05
  done
  return 1
}
send() { echo "$1" >&5; answer; }

wait_for_default() {  # SINK
  for _ in $(seq 200); do
    [ "$(pactl get-default-sink 2>/dev/null)" = "$1" ] && return 0
    sleep 0.05
  done
  return 1
}

ended() {  # the program has ended with status 0 and the default is back on Speakers
  local status=0
  wait "$program_pid" || status=$?
  program_pid=
  answered=0
  exec 5>&-
  [ "$status" -eq 0 ] && pass "$1: the program ended with status 0" || fail "$1: status $status"
  wait_for_default speakers && pass "$1: default sink back on Speakers" || fail "$1: default is $(pactl get-default-sink)"
}

sox -q -n -r 48000 -c 2 -b 16 "$work/tones.wav" synth 2.5 sine 100 sine 1000 remix 1,2 1,2 vol 0.1 2>/dev/null ||
  sox -q -n -r 48000 -c 2 -b 16 "$work/tones.wav" synth 2.5 sine 100 vol 0.1
record_tones() {  # plays the two tones into the default sink and records Speakers meanwhile
  parec -d speakers.monitor --raw --format=s16le --rate=48000 --channels=2 --latency-msec=20 >"$work/rec.raw" &
  local rec=$!
  sleep 0.3
  paplay "$work/tones.wav"
  sleep 0.5
  kill "$rec"
  wait "$rec" 2>/dev/null || true
}
# FREQUENCY: its level in the last recording, robust to a glitch of the playback on a loaded machine
level_at() { python3 "$here/median_level.py" "$work/rec.raw" "$1"; }

echo "--- start: the virtual device becomes the default and passes sound"
start_program
wait_for_default tonvex_brevalto && pass "the virtual device is the default sink" || fail "default: $(pactl get-default-sink)"
sleep 2.5  # a fresh null sink renders ahead before it follows its streams
send "select Flat"
flat=$reply
record_tones
flat100=$(level_at 100)
flatTilt=$(python3 -c "print($flat100 - $(level_at 1000))")
python3 -c "import sys; sys.exit(0 if $flat100 > -60 else 1)" && pass "a tone comes out on Speakers ($flat100 dB, $flat)" ||
  fail "no tone on Speakers ($flat100 dB)"

echo "--- a preset chosen in the list changes what is heard"
send "select Bass"
bass=$reply
sleep 0.5
record_tones
bassTilt=$(python3 -c "print($(level_at 100) - $(level_at 1000))")
send "select Treble"
treble=$reply
sleep 0.5
record_tones
trebleTilt=$(python3 -c "print($(level_at 100) - $(level_at 1000))")
# 100 Hz against 1 kHz: 0 dB flat; the presets' compressors take part of the boost back.
python3 -c "import sys; sys.exit(0 if $bassTilt > $flatTilt + 0.5 > $trebleTilt + 1 else 1)" &&
  pass "100 Hz against 1 kHz: Bass Boost $bassTilt dB, Flat $flatTilt dB, Treble Boost $trebleTilt dB ($bass; $treble)" ||
  fail "the presets do not change the balance: Bass Boost $bassTilt dB, Flat $flatTilt dB, Treble Boost $trebleTilt dB"

echo "--- an output device chosen while sound plays takes the sound over at once"
pactl load-module module-null-sink sink_name=headphones sink_properties=device.description=Headphones >/dev/null
# Read at a sound card's pace from the start: a null sink nobody reads renders seconds ahead, and a stream that
# comes to it would be heard only that much later.
"$TONVEX_PACER" --pace headphones.monitor &
pacer=$!
sleep 2.5
sox -q -n -r 48000 -c 2 -b 16 "$work/steady.wav" synth 6 sine 440 vol 0.1
paplay "$work/steady.wav" &
player=$!
sleep 1
"$TONVEX_PACER" --switch speakers.monitor headphones.monitor 4 >"$work/switch.out" 2>&1 &
probe=$!
sleep 1.5
send "device Headphones"
chosen=${reply#chosen }
wait "$probe" || true
wait "$player" || true
read -r _ a_end _ b_start _ silence <"$work/switch.out" || true
echo "chosen $chosen, $(cat "$work/switch.out")"
python3 -c "import sys; sys.exit(0 if $chosen - 0.1 <= ${a_end:-0} <= $chosen + 0.5 and $chosen - 0.05 <= ${b_start:-0} <= $chosen + 0.5 else 1)" &&
  pass "the sound left Speakers $(python3 -c "print(round(($a_end - $chosen) * 1000))") ms and came on Headphones $(python3 -c "print(round(($b_start - $chosen) * 1000))") ms after the choice" ||
  fail "the sound did not move within 0.5 s: $reply, $(cat "$work/switch.out")"
python3 -c "import sys; sys.exit(0 if 0 <= ${silence:-1e9} <= 50 else 1)" && pass "longest silence while moving: $silence ms" ||
  fail "a gap of ${silence:-?} ms while moving"
send "device Speakers"
kill "$pacer"
wait "$pacer" || true
pacer=

echo "--- the tray's Exit keeps a modified configuration and gives the default back"
send "modify"
modified=$reply
echo "$modified" >"$work/modified"
echo "tray-exit" >&5
ended "tray Exit"
[ -f "$XDG_CONFIG_HOME/tonvex/Custom.tvh" ] && pass "Custom.tvh kept" || fail "no Custom.tvh in $XDG_CONFIG_HOME/tonvex"

echo "--- a restart shows the custom entry, marked modified, with the same curve"
start_program
wait_for_default tonvex_brevalto || fail "the restart did not take the default"
send "state"
state=$reply
case "$state" in
  *"*"*) pass "restart shows a modified entry: $state" ;;
  *) fail "restart shows no modified entry: $state" ;;
esac
[ "${state##* left0=}" = "${modified##* left0=}" ] && pass "the curve is the modified one (${state##* left0=} dB)" ||
  fail "curve ${state##* left0=} after restart, ${modified##* left0=} before"

echo "--- SIGTERM ends it in order, asking nothing"
send "modify"
kill -TERM "$program_pid"
ended "SIGTERM"

echo "--- a second start while one runs is refused and changes nothing"
start_program
wait_for_default tonvex_brevalto || true
before=$(pactl get-default-sink)
status=0
timeout 20 "$prefix/bin/tonvex" >/dev/null 2>&1 </dev/null &
second=$!
sleep 3
# The refusal's message box waits for OK; closing it is not needed to see that nothing changed.
[ "$(pactl get-default-sink)" = "$before" ] && pass "the default sink stays $before" || fail "default now $(pactl get-default-sink)"
kill "$second" 2>/dev/null || true
wait "$second" 2>/dev/null || status=$?
# Through another runtime folder (another lock file) on the same server: refused as well.
mkdir -p "$work/other-run"
XDG_RUNTIME_DIR=$work/other-run timeout 20 "$prefix/bin/tonvex" >"$work/other.log" 2>&1 </dev/null &
second=$!
sleep 3
controls=$(pactl list clients | grep -c 'application.name = "Tonvex control"' || true)
[ "$controls" -eq 1 ] && [ "$(pactl get-default-sink)" = "$before" ] &&
  pass "a start through another runtime folder is refused: one program on the server" ||
  fail "$controls programs on the server, default $(pactl get-default-sink)"
kill "$second" 2>/dev/null || true
wait "$second" 2>/dev/null || true

echo "--- SIGINT (Ctrl+C) ends it like SIGTERM, keeping a change"
rm -f "$XDG_CONFIG_HOME/tonvex/Custom.tvh"
send "modify"
kill -INT "$program_pid"
ended "SIGINT"
[ -f "$XDG_CONFIG_HOME/tonvex/Custom.tvh" ] && grep -q '^"pending"="1"' "$XDG_CONFIG_HOME/tonvex/user.reg" &&
  pass "SIGINT kept the change in Custom.tvh" || fail "SIGINT lost the change"

[ "$failures" -eq 0 ] && echo "all passed" || { echo "$failures failed" >&2; exit 1; }
