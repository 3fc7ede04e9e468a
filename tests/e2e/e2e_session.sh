# Sourced by the end-to-end tests that run on a private audio server: `. e2e_session.sh TAG` makes the private
# folder $work (/tmp/tonvex-TAG.*), loads the private server's functions and sets the pass/fail counters and the
# exit trap, which ends $program_pid, the $helpers and the session. The caller sets `here` first.
PRIVATE_AUDIO_DIR=$(mktemp -d "/tmp/tonvex-$1.XXXXXX")
work=$PRIVATE_AUDIO_DIR
. "$here/../../tools/private_audio_server.sh"

program_pid=
helpers=
failures=0
trap 'for p in $helpers; do kill "$p" 2>/dev/null || true; done; private_session_end "$program_pid"' EXIT
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
# near VALUE EXPECTED TOLERANCE
near() { python3 -c "import sys; sys.exit(0 if abs(($1) - ($2)) <= $3 else 1)"; }
# measure_again_if_off MEASURE CHECK RECORDING DESCRIBE: runs MEASURE; when CHECK then fails, prints what DESCRIBE
# says and how much of RECORDING was silent, and runs MEASURE once more. Gaps in the sound on a loaded machine (a
# server that missed its cycles) lower a level with nothing wrong in the processing; a real fault fails CHECK
# the second time as well.
measure_again_if_off() {
  "$1"
  "$2" && return 0
  echo "note: $("$4") with $(python3 "$here/silent_share.py" "$3") % of its 5 ms pieces silent; measured again"
  "$1"
}
