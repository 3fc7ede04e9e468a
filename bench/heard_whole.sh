#!/usr/bin/env bash
# Is every tone heard whole? tonvex-cli live on a private audio server, recorded from the monitor of "Speakers":
#  1. ten 2-second tones played one after another (each a new stream into the virtual device);
#  2. one 25-second tone while another recorder joins and leaves the virtual device's monitor ten times.
# Prints, for each part, how many tones were heard whole (one stretch at the tone's level, 5 ms windows within
# 10 dB of it, as long as the tone: a gap splits it) and any other stretches; exits 1 when one was not.
# Usage: bench/heard_whole.sh [BUILD_DIR] [pulseaudio|pipewire]   (defaults: build/release, pulseaudio)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/release}")
PRIVATE_AUDIO_SERVER=${2:-pulseaudio}
cli=$build/tools/tonvex-cli
TONVEX_PACER=$build/tools/tonvex-latency-probe
[ -x "$cli" ] && [ -x "$TONVEX_PACER" ] || { echo "build tonvex-cli and tonvex-latency-probe in $build first" >&2; exit 1; }
PRIVATE_AUDIO_DIR=$(mktemp -d /tmp/tonvex-whole.XXXXXX)
work=$PRIVATE_AUDIO_DIR
# shellcheck source=../tools/private_audio_server.sh
. "$root/tools/private_audio_server.sh"
live_pid=
trap 'private_session_end "$live_pid"' EXIT
private_server_start

"$cli" live >"$work/live.log" 2>&1 &
live_pid=$!
for _ in $(seq 200); do [ "$(pactl get-default-sink 2>/dev/null)" = tonvex_brevalto ] && break; sleep 0.05; done
sleep 2.5  # a null sink made a moment ago renders ahead before it follows its streams
sox -q -n -r 48000 -c 2 -b 16 "$work/short.wav" synth 2 sine 1000 vol 0.1
sox -q -n -r 48000 -c 2 -b 16 "$work/long.wav" synth 25 sine 1000 vol 0.1

record() {  # FILE: records Speakers' monitor in the background; its pid in $recorder
  parec -d speakers.monitor --raw --format=s16le --rate=48000 --channels=2 --latency-msec=20 >"$1" &
  recorder=$!
  sleep 0.3
}

record "$work/one_after_another.raw"
for _ in $(seq 10); do paplay "$work/short.wav"; done
sleep 0.5
kill "$recorder"
wait "$recorder" 2>/dev/null || true

record "$work/joined.raw"
paplay "$work/long.wav" &
player=$!
for _ in $(seq 10); do
  sleep 1
  parec -d tonvex_brevalto.monitor --raw >/dev/null &
  joiner=$!
  sleep 1
  kill "$joiner"
  wait "$joiner" 2>/dev/null || true
done
wait "$player"
sleep 0.5
kill "$recorder"
wait "$recorder" 2>/dev/null || true

status=0
python3 - "$work/one_after_another.raw" 10 2 "$work/joined.raw" 1 25 <<'PY' || status=$?
import array, math, sys

def stretches(path):
    """Lengths in seconds of the stretches at the tone's level (5 ms windows within 10 dB of it)."""
    samples = array.array("h")
    with open(path, "rb") as f:
        data = f.read()
    samples.frombytes(data[: len(data) // 4 * 4])
    left = samples[0::2]
    window = 240
    levels = []
    for start in range(0, len(left) - window + 1, window):
        chunk = left[start:start + window]
        rms = math.sqrt(sum(s * s for s in chunk) / window) / 32768
        levels.append(20 * math.log10(rms) if rms > 0 else -200)
    loud = sorted(l for l in levels if l > -60)
    if not loud:
        return [], 0
    level = loud[len(loud) // 2]
    found, run = [], 0
    for l in levels + [-200]:
        if l > level - 10:
            run += 1
        elif run:
            found.append(run * 0.005)
            run = 0
    return found, sum(1 for l in levels if l > level + 3)

# A tone heard whole is one stretch as long as the tone (within 30 ms); a gap splits it in two. Tones played one
# after another may follow each other in the virtual device with no gap at all (the next player's sound can start
# where the last one's ended), and the program then plays them as one stretch: a stretch as long as n tones counts
# as n tones heard whole.
def tones_in(stretch, seconds):
    n = round(stretch / seconds)
    return n if n >= 1 and abs(stretch - n * seconds) <= 0.03 * n else 0

failed = False
tests = ((sys.argv[1], int(sys.argv[2]), float(sys.argv[3]), "tones one after another"),
         (sys.argv[4], int(sys.argv[5]), float(sys.argv[6]), "a long tone while a recorder joins and leaves"))
for path, expected, seconds, name in tests:
    found, louder = stretches(path)
    whole = sum(tones_in(f, seconds) for f in found)
    pieces = [f for f in found if not tones_in(f, seconds)]
    print("%s: %d of %d heard whole; other stretches (s): %s; windows louder than the tone: %d"
          % (name, whole, expected, " ".join("%.3f" % f for f in pieces) or "none", louder))
    failed |= whole != expected or bool(pieces) or louder > 0
sys.exit(1 if failed else 0)
PY
echo "status at the end: $(grep -a '|' "$work/live.log" | tail -n1)"
exit $status
