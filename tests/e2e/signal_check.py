#!/usr/bin/env python3
"""Measures recordings of the end-to-end tests (raw signed 16-bit little-endian stereo at 48 kHz).

  signal_check.py level FILE FREQ   amplitude of the FREQ component in dB of full scale (a sine of peak 1.0 is 0 dB),
                                    found within 1 % of FREQ
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


def fit(x, freq, origin):
    """Least-squares fit of a sine and a cosine at `freq` (their phase counted from sample `origin`): amplitude, phase."""
    w = 2 * math.pi * freq / RATE
    ss = cc = sc = xs = xc = 0.0
    for n, v in enumerate(x, origin):
        s, c = math.sin(w * n), math.cos(w * n)
        ss, cc, sc, xs, xc = ss + s * s, cc + c * c, sc + s * c, xs + v * s, xc + v * c
    det = ss * cc - sc * sc
    a, b = (xs * cc - xc * sc) / det, (xc * ss - xs * sc) / det
    return math.hypot(a, b), math.atan2(b, a)


def window_amplitudes(x, freq):
    # The amplitude in each 20 ms window. The output's playback rate may be corrected by up to 1 %, which moves a
    # tone by as much: at 19 kHz even 0.1 % (19 Hz) drifts a third of a cycle in a window and reads as a loss of
    # 1 dB at FREQ. So the tone is fitted where it is: its frequency in the window is found first from how its phase
    # moves from one 4-cycle part to the next (a tone 1 % off moves 0.04 cycle). Below 400 Hz a window holds too few
    # parts, and a tone 1 % off drifts less than a tenth of a cycle in it anyway.
    window = RATE // 50
    part = max(1, round(4 * RATE / freq))
    amplitudes = []
    for start in range(0, len(x) - window + 1, window):
        chunk = x[start:start + window]
        found = freq
        if 2 * part <= window:
            phases = [fit(chunk[i:i + part], freq, start + i)[1] for i in range(0, window - part + 1, part)]
            steps = [(b - a + math.pi) % (2 * math.pi) - math.pi for a, b in zip(phases, phases[1:])]
            found += sum(steps) / len(steps) / (2 * math.pi * part / RATE)
        amplitudes.append(fit(chunk, found, start)[0])
    return amplitudes


def amplitude_at(x, freq):
    # The 20 ms windows' amplitudes averaged in power.
    amplitudes = window_amplitudes(x, freq)
    return math.sqrt(sum(a * a for a in amplitudes) / len(amplitudes)) if amplitudes else 0.0


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
