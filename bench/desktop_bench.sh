#!/usr/bin/env bash
# Desktop-program benchmark under Xvfb on a private PulseAudio (or PipeWire) server, sound playing throughout:
#  - start-up: from the launch to the window shown and its event loop answering (median of 5 starts);
#  - resident memory after the start (VmRSS);
#  - CPU of the whole process, as a share of one core, over SECONDS with the window hidden (tray only) and
#    with the Monitor tab shown (its meter running).
# Usage: bench/desktop_bench.sh [BUILD_DIR] [SECONDS] [pulseaudio|pipewire]   (defaults: build/release, 20, pulseaudio)
# On PipeWire, BENCH_QUANTUM=N forces the graph's quantum to N frames for the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/release}")
seconds=${2:-20}
PRIVATE_AUDIO_SERVER=${3:-pulseaudio}
[ -x "$build/tests/app/tonvex-e2e-driver" ] || { echo "build tonvex, tonvex-e2e-driver and tonvex-latency-probe first" >&2; exit 1; }
TONVEX_PACER=$build/tools/tonvex-latency-probe
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-dbench.XXXXXX)
work=$PRIVATE_AUDIO_DIR
. "$root/tools/private_audio_server.sh"
pid=
xvfb_pid=
player=
trap 'set +e; [ -n "$player" ] && kill "$player" 2>/dev/null; [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; private_session_end "$pid"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$build/tests/app/tonvex-e2e-driver" "$prefix/bin/"
private_display_start "$work" || exit 1
xvfb_pid=$PRIVATE_DISPLAY_PID
private_server_start
[ -n "${BENCH_QUANTUM:-}" ] && pw-metadata -n settings 0 clock.force-quantum "$BENCH_QUANTUM" >/dev/null
export DISPLAY=$PRIVATE_DISPLAY QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$work/config HOME=$work/home
mkdir -p "$HOME"

lines() { wc -l <"$work/out"; }
start() {  # launches the program; $took: the seconds until it answered its first command (no subshell: $pid stays)
  rm -f "$work/in" && mkfifo "$work/in"
  : >"$work/out"
  local t0
  t0=$(date +%s%N)
  "$prefix/bin/tonvex-e2e-driver" <"$work/in" >>"$work/out" 2>>"$work/program.log" &
  pid=$!
  exec 5>"$work/in"
  echo state >&5
  for _ in $(seq 2000); do [ "$(lines)" -ge 2 ] && break; sleep 0.005; done
  took=$(python3 -c "print(($(date +%s%N) - $t0) / 1e9)")
}
stop() { exec 5>&-; kill -TERM "$pid"; wait "$pid" || true; pid=; }
run_ns() { cat /proc/"$pid"/task/*/schedstat | awk '{ns += $1} END {printf "%d\n", ns}'; }
cpu_share() {  # CPU of the process over $seconds, in % of one core, from the scheduler's run time of its threads
  local a b
  a=$(run_ns)
  sleep "$seconds"
  b=$(run_ns)
  python3 -c "print('%.2f' % (100.0 * ($b - $a) / 1e9 / $seconds))"
}

starts=()
for _ in 1 2 3 4 5; do
  start
  starts+=("$took")
  stop
  sleep 1
done
echo "start-up to a shown window: median $(python3 -c "import statistics; print('%.3f' % statistics.median([${starts[*]/%/,}]))") s (${starts[*]})"

sox -q -n -r 48000 -c 2 -b 16 "$work/music.wav" synth $((2 * seconds + 10)) pinknoise vol 0.3
start
sleep 2
paplay "$work/music.wav" &
player=$!
sleep 2
echo "resident memory: $(awk '/VmRSS/ {printf "%.1f MB", $2 / 1024}' "/proc/$pid/status")"
echo hide >&5
echo "CPU, window hidden, sound playing: $(cpu_share) % of one core"
echo show >&5
echo "CPU, Monitor tab shown, sound playing: $(cpu_share) % of one core"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
stop
