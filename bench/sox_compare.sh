#!/usr/bin/env bash
# Pushes the same 120 s of 44.1 kHz stereo audio through sox's nearest equivalent of Tonvex's chain (eight
# half-octave `equalizer` bands at the same frequencies and gains, `compand` with the same curve and times,
# `vol`) and through Tonvex's own chain (which also runs its limiter), in the same run, and prints the
# frames per second of each and their ratio. Each side reads and writes raw 16-bit files; the best of
# five runs counts. Exits 1 when Tonvex is not at least twice as fast.
#   bench/sox_compare.sh [path/to/chain_file_bench]
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/release/bench/chain_file_bench}
[ -x "$tool" ] || { echo "chain_file_bench not found at $tool (build the release configuration first)" >&2; exit 2; }
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 2; }

rate=44100
seconds=120
frames=$((rate * seconds))
runs=5
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
raw=(-t raw -r "$rate" -e signed-integer -b 16 -c 2)

# Music-like material: pink noise under a chord, different in each channel, at about -10 dBFS RMS.
sox -n "${raw[@]}" "$work/in.raw" synth "$seconds" pinknoise synth "$seconds" sine mix 220 \
  synth "$seconds" sine mix 3100 gain -6

# Keep these in step with bench/chain_settings.h: bands 25..16000 Hz with gains 4 -3 2.5 -1.5 3 -2 1.5 5 dB;
# compressor 2:1 from -36 dBFS about -10 dBFS (+13 dB below the threshold), attack 10 ms, release 200 ms;
# volume 0.8.
effects=(equalizer 25 0.5o 4 equalizer 63 0.5o -3 equalizer 160 0.5o 2.5 equalizer 400 0.5o -1.5
         equalizer 1000 0.5o 3 equalizer 2500 0.5o -2 equalizer 6300 0.5o 1.5 equalizer 16000 0.5o 5
         compand 0.01,0.2 -90,-77,-36,-23,0,-5 vol 0.8)

now() { date +%s.%N; }
best_sox=""
best_ours=""
for ((i = 0; i < runs; i++)); do
  t0=$(now)
  sox --single-threaded -D -V1 "${raw[@]}" "$work/in.raw" "${raw[@]}" "$work/sox.raw" "${effects[@]}"
  t1=$(now)
  "$tool" "$work/in.raw" "$work/ours.raw" "$rate" 2>/dev/null
  t2=$(now)
  s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')
  o=$(awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.4f", b - a }')
  best_sox=$(awk -v x="$s" -v y="${best_sox:-$s}" 'BEGIN { print (x < y ? x : y) }')
  best_ours=$(awk -v x="$o" -v y="${best_ours:-$o}" 'BEGIN { print (x < y ? x : y) }')
done

for f in sox.raw ours.raw; do
  size=$(stat -c %s "$work/$f")
  [ "$size" -eq $((frames * 4)) ] || { echo "$f has $size bytes, expected $((frames * 4))" >&2; exit 1; }
done

awk -v n="$frames" -v s="$best_sox" -v o="$best_ours" 'BEGIN {
  printf "sox:    %.2f s  %.0f frames/s\n", s, n / s
  printf "tonvex: %.2f s  %.0f frames/s\n", o, n / o
  printf "ratio (tonvex / sox): %.2f\n", s / o
  exit (s / o >= 2.0 ? 0 : 1)
}'
