#!/usr/bin/env bash
# The installed /usr/bin/tonvex's update check, made as a user makes it: the tray icon's menu, "Updates", then
# Enter (the dialog's default button, OK). The endpoint is a local one named in /etc/tonvex/machine.reg for
# the time of the check; it answers "FALSE" and keeps what it was sent, which must be "this=" followed by the
# version the machine file holds (a program that cannot find that file says "Cannot identify the version"
# and sends nothing). Runs under Xvfb with openbox and trayer on a private audio server.
# Usage: installed_update_check.sh BUILD_DIR   (called by test_deb.sh with the package installed)
set -euo pipefail
build=$(realpath "$1")
root=$(cd "$(dirname "$0")/../.." && pwd)
machine=/etc/tonvex/machine.reg
TONVEX_PACER=$build/tools/tonvex-latency-probe
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-deb.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$root/tools/private_audio_server.sh"
program_pid=
helpers=
cp "$machine" "$work/machine.reg.kept"
trap 'cp "$work/machine.reg.kept" "$machine"; for p in $helpers; do kill "$p" 2>/dev/null || true; done
      private_session_end "$program_pid"' EXIT

# The endpoint: one POST, its body kept in $work/sent.
python3 - "$work/port" "$work/sent" <<'PY' &
import http.server, sys
class Endpoint(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with open(sys.argv[2], "wb") as sent:
            sent.write(body)
        self.send_response(200)
        self.send_header("Content-Length", "5")
        self.end_headers()
        self.wfile.write(b"FALSE")
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Endpoint)
with open(sys.argv[1], "w") as port:
    port.write(str(server.server_port))
server.serve_forever()
PY
helpers="$!"
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.05; done
sed -i "/^\[Software\\\\Brevalto\\\\Tonvex\]\$/a \"update_server\"=\"http://127.0.0.1:$(cat "$work/port")\"" "$machine"
grep -q '^"update_server"' "$machine" || { echo "could not name the endpoint in $machine" >&2; exit 1; }
version=$(sed -n 's/^"version"="\(.*\)"$/\1/p' "$machine")

private_display_start "$work" || exit 1
helpers="$helpers $PRIVATE_DISPLAY_PID"
private_server_start
export DISPLAY=$PRIVATE_DISPLAY QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$work/config HOME=$work/home
mkdir -p "$HOME" "$XDG_CONFIG_HOME/tonvex"
printf '[Software\\Brevalto\\Tonvex]\n"version"="1.0"\n"preferred"="1"\n' >"$XDG_CONFIG_HOME/tonvex/user.reg"  # no player warning
openbox --sm-disable >/dev/null 2>&1 &
helpers="$helpers $!"
trayer --edge bottom --align right --widthtype request --height 24 --SetDockType true >/dev/null 2>&1 &
helpers="$helpers $!"
timeout 10 xdotool search --sync --class trayer >/dev/null

/usr/bin/tonvex >"$work/program.log" 2>&1 &
program_pid=$!
timeout 20 xdotool search --sync --onlyvisible --name '^Tonvex v1\.0$' >/dev/null
sleep 1
# The tray menu's Updates, by its mnemonic.
xdotool mousemove --window "$(xdotool search --onlyvisible --class trayer | head -n 1)" 12 12 click 1
sleep 0.8
xdotool key u
timeout 10 xdotool search --sync --onlyvisible --name '^Check for Updates$' >/dev/null
sleep 0.5
xdotool key Return
for _ in $(seq 100); do [ -s "$work/sent" ] && break; sleep 0.1; done
sent=$(cat "$work/sent" 2>/dev/null || true)
echo "sent: ${sent:-nothing}; machine version: $version"
[ -n "$version" ] && [ "$sent" = "this=$version" ]
