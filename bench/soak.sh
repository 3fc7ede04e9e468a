#!/usr/bin/env bash
# Soak of the desktop program as a user runs it: the real program (tonvex-e2e-driver, `tonvex` with a command
# channel) under Xvfb on a private PulseAudio server, then on a private PipeWire server, with the Monitor tab
# shown, every stage active (the Rock preset's equalizer and compressor, volume -3 dB, limiter at 90 dB SPL)
# and a music-like signal (shaped noise in phrases of changing level, with pauses) played into the virtual
# device the whole time. Reports for each server:
#  - blocks dropped and silent buffers inserted, counted from the first second of sound on (on PipeWire, where
#    the engine neither drops nor inserts, the graph's cycles that the Tonvex nodes did not finish in time, from
#    the server's profiler, instead);
#  - dropouts heard on Speakers: short stretches of silence cut into the sound on its way through the program
#    (tonvex-latency-probe's gaps). Only reported: on a loaded machine the probe's own two recordings of one
#    source differ by a few such stretches a minute;
#  - the added latency from the virtual device to Speakers (tonvex-latency-probe over consecutive windows of
#    at most 60 s; the median is the median of the windows' medians, the maximum the largest of all);
#  - the program's CPU, as a share of one core, over the run;
#  - its resident memory every 30 s, and how much it grew after the first minute (or after the first 30 s
#    in runs of a minute or less);
#  - the load average and the CPU time the host took from this machine (other work on a shared machine, and
#    a host that stalls it, show as drops and latency), and for each second with dropped blocks or inserted
#    silence, what the host took around it.
# Fails when a block was dropped, silence inserted or a cycle missed (unless SOAK_DROPS_FAIL=0: a loaded machine drops
# blocks, so CI's short run only reports them), no sound reached Speakers, the program ended, or its memory
# grew by more than 1 MB.
# Usage: bench/soak.sh [MINUTES] [BUILD_DIR] [SERVER...]   (defaults: 10, build/release, pulseaudio pipewire)
set -euo pipefail
[ -n "${SOAK_TRACE:-}" ] && set -x
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:-10}
build=$(realpath "${2:-$root/build/release}")
shift $(($# > 2 ? 2 : $#))
servers=("$@")
[ ${#servers[@]} -gt 0 ] || servers=(pulseaudio pipewire)
driver=$build/tests/app/tonvex-e2e-driver
probe=$build/tools/tonvex-latency-probe
[ -x "$driver" ] && [ -x "$probe" ] || { echo "build tonvex, tonvex-e2e-driver and tonvex-latency-probe in $build first" >&2; exit 1; }
seconds=$(python3 -c "print(int(round($minutes * 60)))")

base=$(mktemp -d /tmp/tonvex-soak.XXXXXX)
TONVEX_PACER=$probe
. "$root/tools/private_audio_server.sh"
# shellcheck source=host_steal.sh
. "$root/bench/host_steal.sh"
program_pid=
xvfb_pid=
background=()
finish_server() {  # the program, the player and samplers, then the server and its folder
  exec 5>&-
  for job in "${background[@]}"; do stop_loop "$job"; done
  background=()
  [ -n "${PRIVATE_AUDIO_DIR:-}" ] && private_session_end "$program_pid"
  program_pid=
}
trap 'set +e; finish_server; [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null; rm -rf "$base"' EXIT
trap 'exit 143' TERM INT  # the EXIT trap cleans up then too

prefix=$base/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
cp "$driver" "$prefix/bin/"
private_display_start "$base" || exit 1
xvfb_pid=$PRIVATE_DISPLAY_PID

# One "track" of about 30 s: phrases of shaped noise (pulsing, each with its own brightness and level from
# -24 to -4 dBFS) with pauses between them; the player loops it.
for i in 0 1 2 3 4 5 6 7 8 9; do
  level=(0.6 0.25 0.5 0.08 0.35 0.7 0.15 0.45 0.3 0.55)
  sox -q -n -r 48000 -c 2 -b 16 "$base/phrase$i.wav" synth "$((1 + i % 4)).$((i * 3 % 10))" pinknoise \
    tremolo "$((2 + i % 5))" 60 lowpass "$((1500 + i * 900))" bass "+$((i % 3 * 3))" vol "${level[$i]}" \
    pad 0 "0.$((2 + i % 3))"
done
sox -q "$base"/phrase?.wav "$base/track.wav"

rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$program_pid/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$program_pid/stat"; }
answered=0
reply=
send() {  # a command to the program; its answer in $reply (no subshell: the count must stay)
  echo "$1" >&5
  for _ in $(seq 400); do
    if [ "$(wc -l <"$work/out")" -gt "$answered" ]; then
      answered=$((answered + 1))
      reply=$(sed -n "${answered}p" "$work/out")
      return 0
    fi
    sleep 0.05
  done
  echo "the program did not answer \"$1\"" >&2
  return 1
}

failures=0
soak() {  # SERVER
  PRIVATE_AUDIO_SERVER=$1
  PRIVATE_AUDIO_DIR=$base/$1
  work=$PRIVATE_AUDIO_DIR
  private_server_start
  export DISPLAY=$PRIVATE_DISPLAY QT_QPA_PLATFORM=xcb
  mkdir -p "$XDG_CONFIG_HOME/tonvex"
  cat >"$XDG_CONFIG_HOME/tonvex/user.reg" <<'REG'
[Software\Brevalto\Tonvex]
"version"="1.0"
"volume_left"="0.7079"
"volume_right"="0.7079"
"limiter_left"="90"
"limiter_right"="90"
REG
  rm -f "$work/in" && mkfifo "$work/in"
  : >"$work/out"
  answered=0
  "$prefix/bin/tonvex-e2e-driver" <"$work/in" >>"$work/out" 2>"$work/program.log" &
  program_pid=$!
  exec 5>"$work/in"
  for _ in $(seq 400); do [ -s "$work/out" ] && break; sleep 0.05; done
  [ -s "$work/out" ] || { cat "$work/program.log" >&2; echo "the program did not start" >&2; exit 1; }
  answered=1  # "started"
  send "select Rock"
  send "show"
  send "tab 0"
  for _ in $(seq 200); do [ "$(pactl get-default-sink)" = tonvex_brevalto ] && break; sleep 0.05; done
  sleep 2.5  # a fresh null sink renders ahead before it follows its streams
  # Its own log: the player's complaints when the server goes at the end are no result.
  (while :; do paplay "$base/track.wav" || sleep 0.2; done) 2>>"$work/player.log" &
  background+=($!)
  sleep 1
  send stats
  local first=$reply ticks0 start load
  ticks0=$(cpu_ticks)
  start=$(date +%s.%N)
  (while :; do echo "$(date +%s) $(awk '/^VmRSS/ {print $2}' "/proc/$program_pid/status")"; sleep 30; done) >"$work/rss" 2>/dev/null &
  background+=($!)
  steal_sample "$work/steal" 2>/dev/null &
  background+=($!)
  : >"$work/latency"
  # The server's profiler: every cycle, whether each node finished in time (it writes its plot scripts into the
  # folder it runs in).
  : >"$work/profiler.log"
  if [ "$1" = pipewire ]; then
    (cd "$work" && exec pw-profiler -o "$work/profiler.log" >/dev/null 2>&1) &
    background+=($!)
  fi
  (
    left=$seconds
    while [ "$left" -gt 0 ]; do
      window=$((left > 60 ? 60 : left))
      "$probe" tonvex_brevalto.monitor speakers.monitor "$window" >>"$work/latency" 2>>"$work/probe.log" || true
      left=$((left - window))
    done
  ) &
  local probes=$!
  background+=($probes)
  # The counters every second, so that each glitch can be set beside what the host took at that moment.
  : >"$work/counters"
  while kill -0 "$probes" 2>/dev/null; do
    send stats || break
    echo "$(cut -d' ' -f1 /proc/uptime) $reply" >>"$work/counters"
    sleep 1
  done
  wait "$probes" 2>/dev/null || true
  local nodes=""
  [ "$1" = pipewire ] && nodes=$(pw-cli ls Node | awk '/^\tid/ {id=$2} /node.name = "tonvex_(filter|brevalto)"/ {sub(",", "", id); printf "%s ", id}')
  load=$(cut -d' ' -f1-3 /proc/loadavg)
  local ticks1 end
  ticks1=$(cpu_ticks)
  end=$(date +%s.%N)
  send stats
  local last=$reply
  echo "$(date +%s) $(rss_kb)" >>"$work/rss"
  kill -0 "$program_pid" || { echo "FAIL: the program ended during the soak" >&2; failures=$((failures + 1)); }
  python3 - "$1" "$first" "$last" "$ticks0" "$ticks1" "$(getconf CLK_TCK)" "$start" "$end" "$work/latency" \
    "$work/rss" "$load" "$minutes" "${SOAK_DROPS_FAIL:-1}" "$work/counters" "$work/steal" "$work/profiler.log" \
    "$nodes" <<'PY' || failures=$((failures + 1))
import statistics, sys
server, first, last, t0, t1, hz, s0, s1, latency, rss, load, minutes, drops_fail, counts, steal, profile, \
    nodes = sys.argv[1:]
def counters(line):
    words = line.split()
    return int(words[1]), int(words[3])
(d0, i0), (d1, i1) = counters(first), counters(last)
span = float(s1) - float(s0)
print("=== %s, %s min; load average at the end: %s" % (server, minutes, load))
print("blocks dropped after the first second: %d; silent buffers inserted: %d" % (d1 - d0, i1 - i0))
windows = [l.split() for l in open(latency) if l.startswith("bursts")]
bursts = sum(int(w[1]) for w in windows)
medians = [float(w[3]) for w in windows if int(w[1]) > 0]
maxima = [float(w[5]) for w in windows if int(w[1]) > 0]
if medians:
    print("added latency: %d onsets in %d windows, median %.1f ms, max %.1f ms"
          % (bursts, len(windows), statistics.median(medians), max(maxima)))
gaps = sum(int(w[7]) for w in windows if len(w) > 7)
print("dropouts heard on Speakers: %d" % gaps)
# pw-profiler's log: a line per cycle, four columns of the driver, then eight for each node it drove: the node's
# id first, its state (3: finished) seventh.
missed = {}
if server == "pipewire":
    ids = nodes.split()
    cycles = {node: 0 for node in ids}
    missed = {node: 0 for node in ids}
    for line in open(profile):
        columns = line.rstrip("\n").split("\t")[4:]
        for at in range(0, len(columns) - 7, 8):
            node = columns[at].strip()
            if node in cycles:
                cycles[node] += 1
                missed[node] += columns[at + 6].strip() != "3"
    print("graph cycles the Tonvex nodes missed: " +
          (", ".join("node %s %d of %d" % (node, missed[node], cycles[node]) for node in ids) or "no node found"))
cpu = (int(t1) - int(t0)) / float(hz)
print("CPU of tonvex: %.1f s in %.0f s = %.2f %% of one core" % (cpu, span, 100 * cpu / span))
samples = [(int(t), int(kb)) for t, kb in (l.split() for l in open(rss))]
t_start = samples[0][0]
print("resident memory (MB) every 30 s: " + " ".join("%.1f" % (kb / 1024) for _, kb in samples))
settled = 60 if float(minutes) > 1 else 30
later = [kb for t, kb in samples if t - t_start >= settled] or [samples[-1][1]]
growth = (max(later) - min(later)) / 1024
print("resident memory growth after the first %d s: %.2f MB" % (settled, growth))
# Each second in which blocks were dropped or silence inserted, beside the CPU time the host took from the
# second before it to its end (the samples are half a second apart).
seconds = [(float(l.split()[0]), counters(" ".join(l.split()[1:]))) for l in open(counts) if len(l.split()) > 4]
stolen = [(float(t), int(ticks)) for t, ticks in (l.split() for l in open(steal) if len(l.split()) == 2)]
def taken(begin, end):
    inside = [ticks for t, ticks in stolen if begin - 0.5 <= t <= end + 0.5]
    return (inside[-1] - inside[0]) * 1000 / float(hz) if len(inside) > 1 else 0
events = []
for (ta, (da, ia)), (tb, (db, ib)) in zip(seconds, seconds[1:]):
    if db > da or ib > ia:
        events.append("+%.0f s: %d dropped, %d silent, the host took %.0f ms"
                      % (tb - seconds[0][0], db - da, ib - ia, taken(ta - 1, tb)))
if events:
    print("when: " + "; ".join(events[:12]) + ("; ..." if len(events) > 12 else ""))
problems = []
if (d1 - d0 or i1 - i0) and drops_fail == "1": problems.append("blocks dropped or silence inserted")
if sum(missed.values()) and drops_fail == "1": problems.append("graph cycles missed")
if server == "pipewire" and (not missed or not all(cycles.values())): problems.append("no profile of the Tonvex nodes")
if not medians: problems.append("no sound measured on Speakers")
if growth > 1: problems.append("memory grew by %.2f MB" % growth)
for p in problems: print("FAIL: " + p)
sys.exit(1 if problems else 0)
PY
  steal_summary "$work/steal"
  finish_server
}

for server in "${servers[@]}"; do soak "$server"; done
[ "$failures" -eq 0 ] || { echo "soak: $failures failed" >&2; exit 1; }
