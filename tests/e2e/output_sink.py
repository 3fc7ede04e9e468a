#!/usr/bin/env python3
"""Prints the names of the sinks the program's output plays on ("none" without one): its PulseAudio playback
stream (named "Tonvex output", or of process PID when given), or, inside PipeWire's graph, the sinks its filter
node's output ports are linked to. Usage: output_sink.py [PID]"""
import json
import subprocess
import sys


def listing(kind):
    return json.loads(subprocess.check_output(["pactl", "-f", "json", "list", kind]))


def graph_sinks():
    try:
        graph = json.loads(subprocess.check_output(["pw-dump"], stderr=subprocess.DEVNULL))
    except (OSError, subprocess.CalledProcessError, ValueError):
        return []
    nodes = {o["id"]: o["info"]["props"].get("node.name") for o in graph if o["type"] == "PipeWire:Interface:Node"}
    links = [o["info"] for o in graph if o["type"] == "PipeWire:Interface:Link"]
    return sorted({nodes.get(l["input-node-id"], "?") for l in links
                   if nodes.get(l["output-node-id"]) == "tonvex_filter"})


def main():
    pid = sys.argv[1] if len(sys.argv) > 1 else None
    names = {s["index"]: s["name"] for s in listing("sinks")}
    on = [names.get(i["sink"], "?") for i in listing("sink-inputs")
          if (i["properties"].get("application.process.id") == pid if pid
              else i["properties"].get("media.name") == "Tonvex output")]
    print(" ".join(on + graph_sinks()) or "none")


main()
