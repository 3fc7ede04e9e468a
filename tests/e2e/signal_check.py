#!/usr/bin/env python3
"""Measures recordings of the end-to-end tests (raw signed 16-bit little-endian stereo at 48 kHz).

  signal_check.py level FILE FREQ   amplitude of the FREQ component in dB of full scale (a sine of peak 1.0 is 0 dB),
                                    within 1 % of FREQ
  signal_check.py meanabs FILE      mean magnitude of the sound in dB of full scale
  signal_check.py peak FILE         largest magnitude in the whole file in dB of full scale (-200 for digital silence)

Only the steady middle of the sound is measured: the part whose 50 ms windows are within 20 dB of the
loudest one, less 200 ms at either end (the tone's start and stop, and the engine's start-up)."""
import array
import math
import sys

RATE = 48000


def left_channel(path):
    samples = array.array("h")
    with open(path, "rb") as f:
        data = f.read()
    samples.frombytes(data[: len(data) // 4 * 4])
    return [s / 32768.0 for s in samples[0::2]]


def steady_part(x):
    window = RATE // 20
    levels = []
    for start in range(0, len(x) - window + 1, window):
        chunk = x[start:start + window]
        levels.append(math.sqrt(sum(v * v for v in chunk) / window))
    if not levels or max(levels) == 0.0:
        return []
    loud = max(levels) / 10.0
    active = [i for i, level in enumerate(levels) if level >= loud]
    first, last = active[0] * window + RATE // 5, (active[-1] + 1) * window - RATE // 5
    return x[first:last] if last - first >= RATE // 5 else []


def amplitude_at(x, freq):
    # Least-squares fit of a sine and a cosine at `freq` in each 20 ms window, the amplitudes averaged in power:
    # the output's playback rate may be corrected by up to 1 % (a tone 1 % off drifts a fifth of a cycle in a
    # window, 0.6 dB at most), where one fit over seconds would read a tone a tenth of a percent off as gone.
    window = RATE // 50
    w = 2 * math.pi * freq / RATE
    sines = [math.sin(w * n) for n in range(window)]
    cosines = [math.cos(w * n) for n in range(window)]
    ss = sum(s * s for s in sines)
    cc = sum(c * c for c in cosines)
    sc = sum(s * c for s, c in zip(sines, cosines))
    det = ss * cc - sc * sc
    power = []
    for start in range(0, len(x) - window + 1, window):
        chunk = x[start:start + window]
        xs = sum(v * s for v, s in zip(chunk, sines))
        xc = sum(v * c for v, c in zip(chunk, cosines))
        a = (xs * cc - xc * sc) / det
        b = (xc * ss - xs * sc) / det
        power.append(a * a + b * b)
    return math.sqrt(sum(power) / len(power)) if power else 0.0


def db(value):
    return 20 * math.log10(value) if value > 0 else -200.0


def main():
    command, path = sys.argv[1], sys.argv[2]
    x = left_channel(path)
    if command == "peak":
        print("%.2f" % db(max((abs(v) for v in x), default=0.0)))
        return 0
    steady = steady_part(x)
    if not steady:
        print("no sound in %s" % path, file=sys.stderr)
        print("-200.00")
        return 0
    if command == "level":
        print("%.2f" % db(amplitude_at(steady, float(sys.argv[3]))))
    elif command == "meanabs":
        print("%.2f" % db(sum(abs(v) for v in steady) / len(steady)))
    else:
        print("unknown command " + command, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
