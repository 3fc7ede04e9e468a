#!/usr/bin/env bash
# Pushes the same 120 s of 44.1 kHz 16-bit stereo WAV through sox's nearest equivalent of Tonvex's chain
# (eight half-octave `equalizer` bands at the same frequencies and gains, `compand` with the same curve and
# times, `vol`) and through `tonvex-cli render` with the same settings (which also runs its limiter), in
# the same run, and prints the wall-clock and CPU time of each whole process and their ratios. The two run
# in turns and the best of seven runs of each counts, so a busy moment of the machine hits both alike.
# Exits 1 when Tonvex does not do the work at least three times as fast (CPU time of the whole process).
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

# Wall-clock and CPU (user + system) seconds of one whole process, best of the runs. On a shared machine the
# wall clock also measures what else runs; the CPU time is the work of the process itself.
TIMEFORMAT='%R %U %S'
measure() {  # measure OUTFILE COMMAND...: appends "wall cpu"
  local out=$1; shift
  { time "$@" >/dev/null 2>&1; } 2>>"$out.raw"
  tail -n1 "$out.raw" | awk '{ printf "%s %.3f\n", $1, $2 + $3 }' >>"$out"
}
for ((i = 0; i < runs; i++)); do
  measure "$work/sox.times" sox --single-threaded -D -V1 "$work/in.wav" "$work/sox.wav" "${effects[@]}"
  measure "$work/ours.times" "$tool" "${ours[@]}"
done

for f in sox.wav ours.wav; do
  got=$(soxi -s "$work/$f")
  [ "$got" -eq "$frames" ] || { echo "$f has $got frames, expected $frames" >&2; exit 1; }
done

best() { sort -g -k"$2" "$1" | head -n1 | awk -v k="$2" '{ print $k }'; }
awk -v n="$frames" -v sw="$(best "$work/sox.times" 1)" -v sc="$(best "$work/sox.times" 2)" \
    -v ow="$(best "$work/ours.times" 1)" -v oc="$(best "$work/ours.times" 2)" 'BEGIN {
  printf "sox:    %.3f s wall, %.3f s CPU  %.0f frames/s of CPU\n", sw, sc, n / sc
  printf "tonvex: %.3f s wall, %.3f s CPU  %.0f frames/s of CPU\n", ow, oc, n / oc
  printf "ratio (tonvex / sox): %.2f wall, %.2f CPU\n", sw / ow, sc / oc
  exit (sc / oc >= 3.0 ? 0 : 1)
}'
