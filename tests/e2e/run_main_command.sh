#!/usr/bin/env bash
# The README's main command as a newcomer runs it, on a machine where no audio server is reachable:
# - with a display (Xvfb), tools/run.sh starts its private server and the desktop program, whose window
#   "Tonvex v1.0" appears while the virtual device is the private server's default sink;
# - without one, it runs tonvex-cli live on the private server instead.
# Either way SIGTERM to tools/run.sh ends the program, the private server and its folder, with status 0.
# It reuses BUILD_DIR (already built: tools/run.sh then only installs it).
# Usage: run_main_command.sh BUILD_DIR
set -euo pipefail
build=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d /tmp/tonvex-main.XXXXXX)
PRIVATE_AUDIO_DIR=$work/display
. "$root/tools/private_audio_server.sh"
runner_pid=
failures=0
trap '[ -n "$runner_pid" ] && kill -KILL "$runner_pid" 2>/dev/null; [ -n "${PRIVATE_DISPLAY_PID:-}" ] && kill "$PRIVATE_DISPLAY_PID" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# A newcomer's environment: a home of its own, no server behind the default socket and none to autospawn.
mkdir -p "$work/home" "$work/run" "$work/display"
chmod 700 "$work/run"
printf 'autospawn = no\n' >"$work/client.conf"
newcomer=(env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/run" PULSE_SERVER="unix:$work/run/none"
  PULSE_CLIENTCONFIG="$work/client.conf" TONVEX_BUILD_DIR="$build" LANG=C.UTF-8)

# start_runner LOG [VAR=VALUE...]: tools/run.sh in the background, in a session of its own.
start_runner() {
  local log=$1
  shift
  setsid "${newcomer[@]}" "$@" "$root/tools/run.sh" >"$log" 2>&1 &
  runner_pid=$!
}
# private_server LOG: the address tools/run.sh printed for its private server, within 30 s.
private_server() {
  for _ in $(seq 300); do
    grep -q '^Private server: PULSE_SERVER=' "$1" && {
      sed -nE 's/^Private server: PULSE_SERVER=([^ ]+).*/\1/p' "$1" | head -n 1
      return 0
    }
    kill -0 "$runner_pid" 2>/dev/null || break
    sleep 0.1
  done
  return 1
}
# virtual_device_is_default SERVER: within 10 s the server's default sink is the one described "Tonvex (Brevalto)".
virtual_device_is_default() {
  local default
  for _ in $(seq 100); do
    default=$(PULSE_SERVER=$1 timeout 5 pactl get-default-sink 2>/dev/null || true)
    PULSE_SERVER=$1 timeout 5 pactl list sinks 2>/dev/null |
      awk -v want="$default" '/^\tName: /{name=$2} /^\tDescription: /{sub(/^\tDescription: /,""); if (name == want) print}' |
      grep -qx 'Tonvex (Brevalto)' && return 0
    sleep 0.1
  done
  return 1
}
# terminated LOG WHAT: SIGTERM to tools/run.sh; within 20 s it ends with status 0, leaving no program running
# and no private audio folder behind.
terminated() {
  local log=$1 what=$2 status=0 folder
  folder=$(sed -nE 's/^Private server: PULSE_SERVER=unix:(.*)\/run\/native.*/\1/p' "$log" | head -n 1)
  kill -TERM "$runner_pid" 2>/dev/null || fail "$what: tools/run.sh had already ended"
  for _ in $(seq 200); do kill -0 "$runner_pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$runner_pid" 2>/dev/null; then
    fail "$what: tools/run.sh still running 20 s after SIGTERM"
    kill -KILL -- "-$runner_pid" 2>/dev/null || true
  fi
  wait "$runner_pid" || status=$?
  runner_pid=
  [ "$status" -eq 0 ] && pass "$what: SIGTERM ends it with status 0" || fail "$what: exit status $status"
  [ -n "$folder" ] && [ ! -e "$folder" ] && pass "$what: the private server's folder is gone" ||
    fail "$what: the private server's folder $folder is left behind"
}

# With a display: the window, with the virtual device as the default sink.
private_display_start "$work/display" || exit 1
log=$work/display.log
start_runner "$log" DISPLAY="$PRIVATE_DISPLAY"
if server=$(private_server "$log"); then
  if DISPLAY=$PRIVATE_DISPLAY timeout 30 xdotool search --sync --onlyvisible --name '^Tonvex v1\.0$' >/dev/null; then
    pass "the window \"Tonvex v1.0\" is shown on the caller's display"
  else
    fail "no window \"Tonvex v1.0\" within 30 s"
  fi
  virtual_device_is_default "$server" && pass "the virtual device is the private server's default sink" ||
    fail "the virtual device did not become the private server's default sink"
  terminated "$log" "with a display"
else
  fail "tools/run.sh started no private server"
  kill -TERM "$runner_pid" 2>/dev/null || true
fi
if grep -qiE 'could not connect to display|failed to start|Aborted' "$log"; then fail "the program failed to start:"; fi
[ "$failures" -eq 0 ] || cat "$log" >&2

# Without a display: tonvex-cli live on the private server.
log=$work/headless.log
start_runner "$log"
if server=$(private_server "$log"); then
  grep -q 'running tonvex-cli live instead' "$log" && pass "without a display it runs tonvex-cli live" ||
    fail "without a display it did not say it runs tonvex-cli live"
  virtual_device_is_default "$server" && pass "headless: the virtual device is the private server's default sink" ||
    fail "headless: the virtual device did not become the default sink"
  terminated "$log" "without a display"
else
  fail "headless: tools/run.sh started no private server"
  cat "$log" >&2
fi

[ "$failures" -eq 0 ] && echo "main command: all checks passed" || { echo "main command: $failures failed" >&2; exit 1; }
