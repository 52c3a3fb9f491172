#!/usr/bin/env python3
"""The station's CPU with the MQTT feed on and off: two simulated stations at the same pace side by side
(tools/plant_demo.py), one publishing to a local mosquitto and one not, and the CPU time each
`kelvora-tool monitor` takes over the measured span.

    bench/feed_cpu.py [--rate 133] [--seconds 60] [--warmup 10] [--bin build/bin]
"""

import argparse
import os
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
from plant_demo import PlantDemo  # noqa: E402


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rate", type=int, default=133)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--warmup", type=float, default=10)
    parser.add_argument("--bin", default=os.path.join(ROOT, "build", "bin"))
    args = parser.parse_args()
    demo = PlantDemo(os.path.abspath(args.bin), tempfile.mkdtemp(prefix="kelvora-feed-cpu."),
                     products_per_minute=args.rate)
    try:
        demo.start_broker()
        demo.start_station("feed-on", seed=7, publish=True)
        demo.start_station("feed-off", seed=7, publish=False)
        time.sleep(args.warmup)
        pids = [monitor.pid for _, _, monitor, _ in demo.stations]
        before = [cpu_seconds(pid) for pid in pids]
        time.sleep(args.seconds)
        used = [cpu_seconds(pid) - b for pid, b in zip(pids, before)]
    finally:
        demo.close()
    print(f"kelvora-tool monitor at {args.rate} products/min over {args.seconds:.0f} s:")
    for (name, *_), seconds in zip(demo.stations, used):
        print(f"  {name:8s} CPU {100 * seconds / args.seconds:.2f} % ({seconds:.2f} s)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
