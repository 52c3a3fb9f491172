#!/usr/bin/env python3
"""The plant overview page's update delay: messages published to a local mosquitto (a raw MQTT client,
so nothing else adds to the time) and the time the page has drawn the station's card again, read from
the page's own clock (the same machine's wall clock). Prints p50, p99 and the worst delay.

    bench/plant_page_delay.py [--count 200] [--interval-ms 100]
"""

import argparse
import json
import os
import socket
import struct
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from headless_chromium import HeadlessChromium  # noqa: E402
from plant_demo import PlantDemo  # noqa: E402


def packet(kind, body):
    length = bytearray()
    n = len(body)
    while True:
        byte, n = n % 128, n // 128
        length.append(byte | (0x80 if n else 0))
        if not n:
            return bytes([kind]) + bytes(length) + body


def text(value):
    data = value.encode()
    return struct.pack("!H", len(data)) + data


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=200)
    parser.add_argument("--interval-ms", type=int, default=100)
    args = parser.parse_args()
    demo = PlantDemo(os.path.join(ROOT, "build", "bin"), tempfile.mkdtemp(prefix="kelvora-page-delay."))
    demo.start_broker()
    mqtt = socket.create_connection(("127.0.0.1", demo.mqtt_port))
    mqtt.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    mqtt.sendall(packet(0x10, text("MQTT") + bytes([4, 2, 0, 60]) + text("page-delay")))
    mqtt.recv(4)  # CONNACK
    delays = []
    with HeadlessChromium() as browser:
        browser.open(demo.page_url)
        browser.wait_for("window.plant.connected")
        state = {"station": "bench", "online": True, "running": True, "model": "大米-5kg", "count": 0}
        for i in range(1, args.count + 1):
            state["count"] = i
            sent = time.time() * 1000
            mqtt.sendall(packet(0x30, text("kelvora/bench/state") + json.dumps(state).encode()))
            drawn = browser.wait_for(f"(() => {{ const s = window.plant.stations.get('kelvora/bench');"
                                     f" return s && s.state.count === {i} && !s.dirty && s.renderedAt; }})()")
            delays.append(drawn - sent)
            time.sleep(args.interval_ms / 1000)
    mqtt.close()
    demo.close()
    delays.sort()
    at = lambda share: delays[int(share * (len(delays) - 1))]  # noqa: E731
    print(f"plant page, {args.count} updates: message published to card drawn p50 {at(0.5):.1f} ms, "
          f"p99 {at(0.99):.1f} ms, worst {delays[-1]:.1f} ms")
    return 0


if __name__ == "__main__":
    sys.exit(main())
