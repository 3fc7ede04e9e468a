# Sourced by the end-to-end tests that drive the installed desktop program under a private display and audio
# server: `. desktop_session.sh TAG` does what e2e_session.sh does and installs the build under $prefix;
# `desktop_session_start [Xvfb OPTIONS]` then starts the display and the server and points Qt at the display.
# The caller sets `build`, `here` and `measure` first.
. "$here/e2e_session.sh" "$1"

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

desktop_session_start() {
  private_display_start "$work" "$@" || exit 1
  helpers=$PRIVATE_DISPLAY_PID
  private_server_start
  export DISPLAY=$PRIVATE_DISPLAY QT_QPA_PLATFORM=xcb
}

# record_tones [SINK]: plays $work/tones.wav (100 Hz and 1 kHz) into the default sink while SINK (Speakers) is
# recorded; sets level (1 kHz) and tilt (100 Hz against 1 kHz).
record_tones() {
  parec -d "${1:-speakers}.monitor" --raw --format=s16le --rate=48000 --channels=2 --latency-msec=20 >"$work/rec.raw" &
  local rec=$!
  sleep 0.3
  paplay "$work/tones.wav"
  sleep 0.3
  kill "$rec"
  wait "$rec" 2>/dev/null || true
  level=$($measure "$work/rec.raw" 1000)
  tilt=$(python3 -c "print($($measure "$work/rec.raw" 100) - $level)")
}
