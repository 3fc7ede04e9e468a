#!/usr/bin/env python3
"""median_level.py FILE FREQ: the level (dB of full scale) of the FREQ component of a recording as the median
over 200 ms windows of its steady part, so that one glitch of the playback (inserted silence at start-up on
a loaded machine) does not pass for a loss of level the way it does in one fit over the whole tone."""
import statistics
import sys

from signal_check import RATE, amplitude_at, db, left_channel, steady_part

WINDOW = RATE // 5

steady = steady_part(left_channel(sys.argv[1]))
freq = float(sys.argv[2])
levels = [amplitude_at(steady[i:i + WINDOW], freq) for i in range(0, len(steady) - WINDOW + 1, WINDOW)]
print("%.2f" % db(statistics.median(levels)) if levels else "-200.00")
