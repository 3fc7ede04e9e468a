#!/usr/bin/env python3
"""silent_share.py FILE: the share of 5 ms pieces of the steady part of a recording that are silent (below
1 % of the loudest piece), as a percentage: what a level lower than expected owes to gaps in the sound."""
import math
import sys

from signal_check import RATE, left_channel, steady_part

PIECE = RATE // 200

steady = steady_part(left_channel(sys.argv[1]))
levels = [math.sqrt(sum(v * v for v in steady[i:i + PIECE]) / PIECE) for i in range(0, len(steady) - PIECE + 1, PIECE)]
loudest = max(levels, default=0.0)
silent = sum(1 for level in levels if level < loudest / 100)
print("%.1f" % (100.0 * silent / len(levels)) if levels else "100.0")
