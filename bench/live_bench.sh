#!/usr/bin/env bash
# Live-engine benchmark on a private audio server (PulseAudio, or PipeWire with its pulse server), 48 kHz
# 16-bit stereo, every stage active:
#  - added latency from the virtual device to Speakers (median and maximum over the run), by correlating
#    tone bursts recorded from both monitors at once (tonvex-latency-probe);
#  - blocks dropped and silent buffers inserted per minute, counted from the first second on;
#  - CPU time of tonvex-cli live per second of audio, and its threads' wake-ups per second;
#  - the machine's load average and the CPU time the host took from it, since both show in every figure.
# Usage: bench/live_bench.sh [BUILD_DIR] [SECONDS] [pulseaudio|pipewire]   (defaults: build/release, 60, pulseaudio)
# On PipeWire, BENCH_QUANTUM=N forces the graph's quantum to N frames for the run (clock.force-quantum), and
# BENCH_BACKEND=pulse|pipewire chooses the program's backend (default: what it detects). BENCH_BASELINE=1 (PipeWire)
# first measures, with the same probe, a bare link from a sink's monitor straight into Speakers: a path that adds
# nothing. Speakers drives the graph, and a driving sink's monitor is handed on only in the next cycle, so the
# probe sees one quantum on that path too; the program's added latency is its figure less this one.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/release}")
seconds=${2:-60}
PRIVATE_AUDIO_SERVER=${3:-pulseaudio}
cli=$build/tools/tonvex-cli
probe=$build/tools/tonvex-latency-probe
[ -x "$cli" ] && [ -x "$probe" ] || { echo "build tonvex-cli and tonvex-latency-probe in $build first" >&2; exit 1; }

PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-bench.XXXXXX)
TONVEX_PACER=$probe
work=$PRIVATE_AUDIO_DIR
# shellcheck source=../tools/private_audio_server.sh
. "$root/tools/private_audio_server.sh"
# shellcheck source=host_steal.sh
. "$root/bench/host_steal.sh"
live_pid=
sampler=
trap 'if [ -n "$sampler" ]; then kill "$sampler" 2>/dev/null || true; fi; private_session_end "$live_pid"' EXIT
private_server_start
if [ -n "${BENCH_QUANTUM:-}" ]; then
  [ "$PRIVATE_AUDIO_SERVER" = pipewire ] || { echo "BENCH_QUANTUM needs the pipewire server" >&2; exit 1; }
  pw-metadata -n settings 0 clock.force-quantum "$BENCH_QUANTUM" >/dev/null
fi
if [ -n "${BENCH_BASELINE:-}" ]; then
  [ "$PRIVATE_AUDIO_SERVER" = pipewire ] || { echo "BENCH_BASELINE needs the pipewire server" >&2; exit 1; }
  pw-cli create-node adapter '{ factory.name=support.null-audio-sink node.name=bench_wire media.class=Audio/Sink
    audio.rate=48000 audio.channels=2 audio.position=[FL FR] node.driver=false object.linger=true }' >/dev/null
  for _ in $(seq 100); do pw-link bench_wire:monitor_FL speakers:playback_FL 2>/dev/null && break; sleep 0.05; done
  pw-link bench_wire:monitor_FR speakers:playback_FR
  sox -q -n -r 48000 -c 2 -b 16 "$work/wire_unit.wav" synth 0.05 sine 1000 vol 0.5 pad 0 0.45
  sox -q "$work/wire_unit.wav" "$work/wire.wav" repeat 29
  "$probe" bench_wire.monitor speakers.monitor 17 >"$work/wire.txt" &
  wire_probe=$!
  sleep 1
  paplay -d bench_wire "$work/wire.wav"
  wait "$wire_probe" || true
  wire=($(cat "$work/wire.txt"))
  baseline="bare link monitor -> Speakers (the probe's own offset): ${wire[1]} bursts, median ${wire[3]} ms, max ${wire[5]} ms"
  pw-cli destroy "$(pw-cli ls Node | awk '/^\tid/ {id=$2} /node.name = "bench_wire"/ {sub(",", "", id); print id}')" >/dev/null
fi

bands_left="25=2.00;63=-1.50;160=1.00;400=-2.00;1000=3.00;2500=-1.00;6300=2.50;16000=-3.00;0;"
bands_right="25=-2.00;63=1.50;160=-1.00;400=2.00;1000=-3.00;2500=1.00;6300=-2.50;16000=3.00;0;"
write_configuration "$work/busy.tva" 70 60 2.00 "$bands_left" "$bands_right"

"$cli" live ${BENCH_BACKEND:+--backend "$BENCH_BACKEND"} --config "$work/busy.tva" --volume-left -3 --volume-right -3 --limit-left 90 --limit-right 90 \
  >"$work/live.log" 2>&1 &
live_pid=$!
for _ in $(seq 200); do [ "$(pactl get-default-sink)" = tonvex_brevalto ] && break; sleep 0.05; done
sleep 2.5  # new null sinks render ahead for up to two seconds

# Bursts of 1 kHz (50 ms) every half second over quiet noise, for the whole run.
sox -q -n -r 48000 -c 2 -b 16 "$work/unit.wav" synth 0.05 sine 1000 vol 0.5 pad 0 0.45
# It plays on past the last status line counted: a stream that ends inside the count (the engine running
# dry, then going idle) is no steady state.
sox -q "$work/unit.wav" "$work/bursts.wav" repeat $((seconds * 2 + 9))
sox -q -n -r 48000 -c 2 -b 16 "$work/noise.wav" synth $((seconds + 6)) whitenoise vol 0.003
sox -q -m "$work/bursts.wav" "$work/noise.wav" "$work/signal.wav" trim 0 $((seconds + 5))

# The scheduler's run time of every thread, in ns: the tick-sampled utime and stime of /proc/PID/stat land in
# step with a graph cycle's timer (at 1024 frames every run read the same tick count) and say little below 1 %.
cpu_ns() { cat /proc/"$live_pid"/task/*/schedstat | awk '{ns += $1} END {printf "%d\n", ns}'; }
wakeups() {  # every thread's voluntary context switches: "tid count" lines
  for task in /proc/$live_pid/task/*; do
    echo "${task##*/}:$(tr ' ' _ <"$task/comm") $(awk '/^voluntary_ctxt_switches/ {print $2}' "$task/status")"
  done
}
# The probe records both monitors from before the sound starts until after it ends.
"$probe" tonvex_brevalto.monitor speakers.monitor $((seconds + 4)) >"$work/latency.txt" &
prober=$!
sleep 1
paplay "$work/signal.wav" &
player=$!
sleep 1  # counting starts with the first status line after the first second
lines_before=$(wc -l <"$work/live.log")
while [ "$(wc -l <"$work/live.log")" -eq "$lines_before" ]; do sleep 0.05; done
lines_before=$(wc -l <"$work/live.log")
steal_sample "$work/steal" &
sampler=$!
cpu_before=$(cpu_ns)
wakeups >"$work/wake0.txt"
start=$(date +%s.%N)
sleep "$seconds"
cpu_after=$(cpu_ns)
kill "$sampler" 2>/dev/null || true
wakeups >"$work/wake1.txt"
end=$(date +%s.%N)
load=$(cut -d' ' -f1-3 /proc/loadavg)
lines_after=$(wc -l <"$work/live.log")
while [ "$(wc -l <"$work/live.log")" -eq "$lines_after" ]; do sleep 0.05; done
lines_after=$(wc -l <"$work/live.log")
wait "$player" || true
wait "$prober" || true

counter() {  # name of the counter, line number: its value on the last status line up to that line
  head -n "$2" "$work/live.log" | grep -o "$1 [0-9]*" | tail -n1 | awk '{print $NF}'
}
python3 - "$work/latency.txt" "$cpu_before" "$cpu_after" 1000000000 "$start" "$end" \
  "$(counter 'blocks dropped' "$lines_before")" "$(counter 'blocks dropped' "$lines_after")" \
  "$(counter 'silent buffers inserted' "$lines_before")" "$(counter 'silent buffers inserted' "$lines_after")" \
  "$work/wake0.txt" "$work/wake1.txt" "$load" "$PRIVATE_AUDIO_SERVER" "${BENCH_QUANTUM:-}" <<'PY'
import sys
latency, t0, t1, hz, s0, s1, d0, d1, i0, i1, w0, w1, load, server, quantum = sys.argv[1:]
print("server: %s; load average during the run: %s" % (server, load))
print("quantum: %s" % (quantum or "the server's choice"))
fields = open(latency).read().split()
minutes = (float(s1) - float(s0)) / 60
print("latency virtual device -> Speakers: %s bursts, median %s ms, max %s ms" % (fields[1], fields[3], fields[5]))
print("blocks dropped per minute: %.2f" % ((int(d1 or 0) - int(d0 or 0)) / minutes))
print("silent buffers inserted per minute: %.2f" % ((int(i1 or 0) - int(i0 or 0)) / minutes))
cpu = (int(t1) - int(t0)) / float(hz)
print("CPU of tonvex-cli live: %.3f s per %.1f s of 48 kHz stereo audio = %.3f %% of one core"
      % (cpu, minutes * 60, 100 * cpu / (minutes * 60)))
def switches(path):
    return dict(line.split() for line in open(path) if len(line.split()) == 2)
before, after = switches(w0), switches(w1)
rates = [(t.split(":", 1)[1], (int(after[t]) - int(before.get(t, 0))) / (minutes * 60)) for t in sorted(after)]
print("wake-ups per second: %.0f in all; by thread: %s" % (sum(r for _, r in rates), ", ".join("%s %.0f" % r for r in rates)))
PY
# On PulseAudio the latency follows the output's target, which grows after an underrun: its first and last
# value in the counted run tell whether a run's median is the start margin's or a grown one's.
targets=$(sed -n "${lines_before},${lines_after}p" "$work/live.log" | grep -o 'target [0-9.]* ms' | awk '{print $2}' || true)
if [ -n "$targets" ]; then
  echo "output target: $(head -n1 <<<"$targets") ms at the start of the count, $(tail -n1 <<<"$targets") ms at its end"
fi
[ -n "${baseline:-}" ] && echo "$baseline"
steal_summary "$work/steal"
echo "status at the end: $(tail -n1 "$work/live.log")"
echo "backend: $(sed -n 's/^live: output .* (\(.*\)); stop.*/\1/p' "$work/live.log")"
if [ -n "${BENCH_KEEP_LOG:-}" ]; then cp "$work/live.log" "$BENCH_KEEP_LOG"; fi
