#!/usr/bin/env python3
"""median_level.py FILE FREQ: the level (dB of full scale) of the FREQ component of a recording as the median of
its 20 ms windows over the steady part. A glitch of the playback on a loaded machine (inserted silence, or a
piece of the sound skipped or played twice, which turns the phase) spoils the windows it falls in and no others,
where one fit over the whole tone, or over windows ten times as long, reads it as a loss of level."""
import statistics
import sys

from signal_check import db, left_channel, steady_part, window_amplitudes

levels = window_amplitudes(steady_part(left_channel(sys.argv[1])), float(sys.argv[2]))
print("%.2f" % db(statistics.median(levels)) if levels else "-200.00")
