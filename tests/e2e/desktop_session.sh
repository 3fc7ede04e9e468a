# Sourced by the end-to-end tests that drive the installed desktop program under a private display and audio
# server: `. desktop_session.sh TAG` makes the private folder $work (/tmp/tonvex-TAG.*), loads the private
# server's functions, sets the pass/fail counters and the exit trap (it ends $program_pid, the $helpers and
# the session), and installs the build under $prefix. `desktop_session_start [Xvfb OPTIONS]` then starts the
# display and the server and points Qt at the display. The caller sets `build` and `here` first.
PRIVATE_AUDIO_DIR=$(mktemp -d "/tmp/tonvex-$1.XXXXXX")
work=$PRIVATE_AUDIO_DIR
. "$here/../../tools/private_audio_server.sh"

program_pid=
helpers=
failures=0
trap 'for p in $helpers; do kill "$p" 2>/dev/null || true; done; private_session_end "$program_pid"' EXIT
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
near() { python3 -c "import sys; sys.exit(0 if abs(($1) - ($2)) <= $3 else 1)"; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

desktop_session_start() {
  private_display_start "$work" "$@" || exit 1
  helpers=$PRIVATE_DISPLAY_PID
  private_server_start
  export DISPLAY=$PRIVATE_DISPLAY QT_QPA_PLATFORM=xcb
}
