#!/usr/bin/env bash
# Pushes the same 120 s of 44.1 kHz 16-bit stereo WAV through sox's nearest equivalent of Tonvex's chain
# (eight half-octave `equalizer` bands at the same frequencies and gains, `compand` with the same curve and
# times, `vol`) and through `tonvex-cli render` with the same settings (which also runs its limiter), in
# the same run, and prints the frames per second of each whole process and their ratio. The two run in
# turns and the best of seven runs of each counts, so a busy moment of the machine hits both alike.
# Exits 1 when Tonvex is not at least three times as fast.
#   bench/sox_compare.sh [path/to/tonvex-cli]
set -euo pipefail
cd "$(dirname "$0")/.."
tool=${1:-build/release/tools/tonvex-cli}
[ -x "$tool" ] || { echo "tonvex-cli not found at $tool (build the release configuration first)" >&2; exit 2; }
command -v sox >/dev/null || { echo "sox is not installed" >&2; exit 2; }

rate=44100
seconds=120
frames=$((rate * seconds))
runs=7
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Music-like material: pink noise under a chord, different in each channel, at about -14 dBFS RMS.
sox -n -r "$rate" -e signed-integer -b 16 -c 2 "$work/in.wav" synth "$seconds" pinknoise \
  synth "$seconds" sine mix 220 synth "$seconds" sine mix 3100 gain -6

# The same settings on both sides: bands 25..16000 Hz with gains 4 -3 2.5 -1.5 3 -2 1.5 5 dB; compressor
# 2:1 from 60 dB SPL (-36 dBFS) about 70 dB SPL (-26 dBFS), +5 dB below the threshold, attack 10 ms,
# release 200 ms; volume 0.8 (-1.94 dB); Tonvex's limiter at 84 dB SPL (-12 dBFS).
gains="25=4.00;63=-3.00;160=2.50;400=-1.50;1000=3.00;2500=-2.00;6300=1.50;16000=5.00;0;"
{
  for side in left right; do
    printf 'compress_%s_center = 70\ncompress_%s_threshold = 60\ncompress_%s_rate = 2.00\n' $side $side $side
    printf 'compress_%s_attack = 0.010000\ncompress_%s_release = 0.200000\n' $side $side
    printf 'equalizer_%s = %s\n' $side "$gains"
  done
} >"$work/chain.tva"
ours=(render "$work/in.wav" "$work/ours.wav" --config "$work/chain.tva" --volume-left -1.94 --volume-right -1.94
      --limit-left 84 --limit-right 84)
effects=(equalizer 25 0.5o 4 equalizer 63 0.5o -3 equalizer 160 0.5o 2.5 equalizer 400 0.5o -1.5
         equalizer 1000 0.5o 3 equalizer 2500 0.5o -2 equalizer 6300 0.5o 1.5 equalizer 16000 0.5o 5
         compand 0.01,0.2 -90,-85,-36,-31,0,-13 vol 0.8)

now() { date +%s.%N; }
best_sox=""
best_ours=""
for ((i = 0; i < runs; i++)); do
  t0=$(now)
  sox --single-threaded -D -V1 "$work/in.wav" "$work/sox.wav" "${effects[@]}"
  t1=$(now)
  "$tool" "${ours[@]}" >/dev/null
  t2=$(now)
  s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f", b - a }')
  o=$(awk -v a="$t1" -v b="$t2" 'BEGIN { printf "%.4f", b - a }')
  best_sox=$(awk -v x="$s" -v y="${best_sox:-$s}" 'BEGIN { print (x < y ? x : y) }')
  best_ours=$(awk -v x="$o" -v y="${best_ours:-$o}" 'BEGIN { print (x < y ? x : y) }')
done

for f in sox.wav ours.wav; do
  got=$(soxi -s "$work/$f")
  [ "$got" -eq "$frames" ] || { echo "$f has $got frames, expected $frames" >&2; exit 1; }
done

awk -v n="$frames" -v s="$best_sox" -v o="$best_ours" 'BEGIN {
  printf "sox:    %.3f s  %.0f frames/s\n", s, n / s
  printf "tonvex: %.3f s  %.0f frames/s\n", o, n / o
  printf "ratio (tonvex / sox): %.2f\n", s / o
  exit (s / o >= 3.0 ? 0 : 1)
}'
