#!/usr/bin/env python3
"""Watches the private audio server after a change (bench/churn.sh): how long until a tone is heard on a real
sink, while checking that the program never plays into the virtual device and that no real sink's volume
changes.

Usage: sound_watch.py FREQUENCY TIMEOUT PROGRAM_PID VOLUMES THROUGH
  FREQUENCY  the tone (Hz) just started into the default sink (by paplay)
  VOLUMES    the real sinks' expected volumes, "name=percent,name=percent"
  THROUGH    1: it counts only while the player plays into the virtual device (through the program)
Prints "heard S on SINK" (seconds since the start) and exits 0; else prints what went wrong and exits 1.
"""
import json
import math
import os
import select
import struct
import subprocess
import sys
import time

VIRTUAL = "tonvex_brevalto"
RATE = 16000
CHUNK = RATE // 20  # 50 ms


def pactl_json(*what):
    try:
        out = subprocess.run(["pactl", "-f", "json", *what], capture_output=True, text=True, timeout=2)
        return json.loads(out.stdout) if out.returncode == 0 else None
    except (subprocess.TimeoutExpired, json.JSONDecodeError):
        return None


def graph_loop():
    """Inside PipeWire's graph: whether the program's filter node feeds the virtual sink."""
    try:
        out = subprocess.run(["pw-link", "-l"], capture_output=True, text=True, timeout=2).stdout
    except (OSError, subprocess.TimeoutExpired):
        return False
    port = ""
    for line in out.splitlines():
        if not line.startswith(" "):
            port = line
        elif port.startswith("tonvex_filter:out_") and line.strip().startswith("|-> " + VIRTUAL + ":"):
            return True
    return False


def tone_level(samples, frequency):
    """Goertzel: the tone's amplitude against the chunk's RMS (both as fractions of full scale)."""
    w = 2 * math.pi * frequency / RATE
    c = 2 * math.cos(w)
    s1 = s2 = 0.0
    energy = 0.0
    for x in samples:
        s0 = x + c * s1 - s2
        s2, s1 = s1, s0
        energy += x * x
    power = s1 * s1 + s2 * s2 - c * s1 * s2
    amplitude = 2 * math.sqrt(max(power, 0)) / len(samples)
    return amplitude, math.sqrt(energy / len(samples))


def main():
    frequency, timeout, pid, volumes = float(sys.argv[1]), float(sys.argv[2]), sys.argv[3], sys.argv[4]
    through = sys.argv[5] == "1"
    player_on_virtual = False
    expected = dict((n, int(p)) for n, p in (v.split("=") for v in volumes.split(",")))
    start = time.monotonic()
    recorders = {}
    buffers = {}
    next_check = 0.0
    problems = []
    while time.monotonic() - start < timeout and not problems:
        now = time.monotonic()
        if now >= next_check:
            next_check = now + 0.2
            sinks = pactl_json("list", "sinks") or []
            by_index = {s["index"]: s["name"] for s in sinks}
            for s in sinks:
                if s["name"] in expected:
                    percents = {int(c["value_percent"].rstrip("%")) for c in s["volume"].values()}
                    if percents != {expected[s["name"]]} or s["mute"]:
                        problems.append("volume of %s changed: %s mute %s" % (s["name"], sorted(percents), s["mute"]))
            player_on_virtual = False
            for i in pactl_json("list", "sink-inputs") or []:
                if i["properties"].get("application.process.binary") in ("paplay", "pacat") and by_index.get(i["sink"]) == VIRTUAL:
                    player_on_virtual = True
                if i["properties"].get("application.process.id") == pid and by_index.get(i["sink"]) == VIRTUAL:
                    problems.append("loop: the program plays into the virtual device")
            if os.environ.get("PRIVATE_AUDIO_SERVER") == "pipewire" and graph_loop():
                problems.append("loop: the program's filter plays into the virtual device")
            for name in expected:
                r = recorders.get(name)
                if name in by_index.values() and (r is None or r.poll() is not None):
                    recorders[name] = subprocess.Popen(
                        ["parec", "-d", name + ".monitor", "--raw", "--format=s16le", "--channels=1",
                         "--rate=%d" % RATE, "--latency-msec=20"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
                    os.set_blocking(recorders[name].stdout.fileno(), False)
                    buffers[name] = b""
        live = {r.stdout.fileno(): n for n, r in recorders.items() if r.poll() is None}
        ready, _, _ = select.select(list(live), [], [], 0.05) if live else ([], [], time.sleep(0.05))
        for fd in ready:
            name = live[fd]
            data = os.read(fd, 65536) or b""
            buffers[name] += data
            while len(buffers[name]) >= 2 * CHUNK:
                chunk, buffers[name] = buffers[name][:2 * CHUNK], buffers[name][2 * CHUNK:]
                samples = [v / 32768.0 for v in struct.unpack("<%dh" % CHUNK, chunk)]
                amplitude, rms = tone_level(samples, frequency)
                # Heard: the tone at -40 dBFS or more, carrying most of what plays.
                if amplitude > 0.01 and amplitude > 0.5 * rms * math.sqrt(2) and (player_on_virtual or not through):
                    print("heard %.2f on %s" % (time.monotonic() - start, name))
                    for r in recorders.values():
                        r.kill()
                    return 0
    for r in recorders.values():
        r.kill()
    print("; ".join(problems) if problems else "not heard within %.0f s" % timeout)
    return 1


if __name__ == "__main__":
    sys.exit(main())
