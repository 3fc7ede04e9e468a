#!/usr/bin/env bash
# Is every tone heard whole? tonvex-cli live on a private audio server, recorded from the monitor of "Speakers":
#  1. ten 2-second tones played one after another (each a new stream into the virtual device);
#  2. one 25-second tone while another recorder joins and leaves the virtual device's monitor ten times.
# Prints, for each part, how many tones were heard and how many gaps (5 ms windows more than 10 dB below the
# tone's level) and stretches louder than the tone cut into them; exits 1 when any tone was not heard whole.
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
python3 - "$work/one_after_another.raw" 10 "$work/joined.raw" 1 <<'PY' || status=$?
import array, math, sys

def tones(path):
    """Stretches of the recording at the tone's level (5 ms windows), each with its gaps and jumps."""
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
        return []
    level = loud[len(loud) // 2]
    found, inside, quiet, gaps, jumps = [], False, 0, 0, 0
    for l in levels:
        on = l > level - 10
        if on:
            if inside and quiet:
                gaps += 1  # sound came back after a dip within one tone
            inside, quiet = True, 0
            if l > level + 3:
                jumps += 1
        elif inside:
            quiet += 1
            if quiet * 5 >= 150:  # 150 ms of quiet: the tone has ended
                found.append(gaps)
                inside, quiet, gaps = False, 0, 0
    if inside:
        found.append(gaps)
    return found, jumps

failed = False
for path, expected, name in ((sys.argv[1], int(sys.argv[2]), "tones one after another"),
                             (sys.argv[3], int(sys.argv[4]), "a long tone while a recorder joins and leaves")):
    result = tones(path)
    found, jumps = result if result else ([], 0)
    gaps = sum(found)
    print("%s: %d of %d heard, %d gaps inside them, %d windows louder than the tone"
          % (name, len(found), expected, gaps, jumps))
    failed |= len(found) != expected or gaps > 0 or jumps > 0
sys.exit(1 if failed else 0)
PY
echo "status at the end: $(grep -a '|' "$work/live.log" | tail -n1)"
exit $status
