#!/usr/bin/env python3
"""A plant on one machine: a mosquitto broker (MQTT for the stations, WebSockets and the plant overview
page for the browsers) and simulated stations, each an indicator simulator on a pseudo-terminal and
`kelvora-tool monitor` on it, publishing over MQTT. Used by `./run demo --plant` and by the page's
browser test.

    tools/plant_demo.py [--stations N] [--seconds S] [--bin DIR] [--listen ADDRESS]
"""

import argparse
import os
import re
import signal
import socket
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The demo line's model (see tools/demo.sh): 5 kg bags of rice, a few outside the limits.
MODEL = ("大米-5kg", 5.000, 5.150, 4.925)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, timeout=10.0):
    deadline = time.time() + timeout
    while time.time() < deadline:
        with socket.socket() as s:
            if s.connect_ex(("127.0.0.1", port)) == 0:
                return
        time.sleep(0.05)
    raise RuntimeError(f"nothing listens on port {port}")


def set_keys(ini, section, values):
    """Sets keys of one section of an Option.ini (UTF-8), adding the section or a key where missing."""
    with open(ini, encoding="utf-8") as f:
        lines = f.read().splitlines()
    header = f"[{section}]"
    if header not in lines:
        lines.append(header)
    start = lines.index(header) + 1
    end = next((i for i in range(start, len(lines)) if lines[i].startswith("[")), len(lines))
    for key, value in values.items():
        found = [i for i in range(start, end) if lines[i].split("=", 1)[0] == key]
        if found:
            lines[found[0]] = f"{key}={value}"
        else:
            lines.insert(end, f"{key}={value}")
            end += 1
    with open(ini, "w", encoding="utf-8") as f:
        f.write("\n".join(lines) + "\n")


class PlantDemo:
    def __init__(self, bin_dir, work, listen="127.0.0.1", products_per_minute=133):
        self.bin = bin_dir
        self.work = work
        self.listen = listen
        self.rate = products_per_minute
        self.mqtt_port = free_port()
        self.ws_port = free_port()
        self.broker = None
        self.stations = []  # (name, simulator, monitor, folder)
        self.files = []

    @property
    def page_url(self):
        host = "127.0.0.1" if self.listen in ("127.0.0.1", "0.0.0.0") else self.listen
        return f"http://{host}:{self.ws_port}/"

    def start_broker(self):
        os.chmod(self.work, 0o777)  # mosquitto started as root writes as its own user
        conf = os.path.join(self.work, "mosquitto.conf")
        with open(conf, "w") as f:
            f.write(f"per_listener_settings false\nallow_anonymous true\n"
                    f"log_dest file {self.work}/mosquitto.log\n"
                    f"listener {self.mqtt_port} 127.0.0.1\n"
                    f"listener {self.ws_port} {self.listen}\nprotocol websockets\n"
                    f"http_dir {os.path.join(ROOT, 'plant')}\n")
        self.broker = subprocess.Popen(["mosquitto", "-c", conf])
        wait_for_port(self.mqtt_port)
        wait_for_port(self.ws_port)

    def start_station(self, name, seed, publish=True):
        folder = os.path.join(self.work, name)
        log = self._open(f"{name}-simulator.jsonl")
        simulator = subprocess.Popen(
            [f"{self.bin}/kelvora-tool", "simulate", "--count", "100000", "--products-per-minute", str(self.rate),
             "--rate", "30", "--gap-ms", "150",
             "--mean", "5.03", "--sd", "0.07", "--noise", "0.005", "--threshold", "0.2", "--seed", str(seed)],
            stdout=log, stderr=subprocess.DEVNULL)
        port = self._simulator_port(log.name, simulator)
        subprocess.run([f"{self.bin}/kelvora-tool", "station", "init", folder, "--demo", "--port", port],
                       check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        ini = os.path.join(folder, "Option.ini")
        set_keys(ini, "站点", {"名称": name})
        set_keys(ini, "MQTT", {"Host": "127.0.0.1" if publish else "", "Port": str(self.mqtt_port)})
        script = os.path.join(self.work, f"{name}-start.txt")
        with open(script, "w", encoding="utf-8") as f:
            f.write("500 select %s %.3f %.3f %.3f\n1000 click BtnClear\n" % MODEL)
        monitor = subprocess.Popen(
            [f"{self.bin}/kelvora-tool", "monitor", "--port", port, "--ini", ini, "--db",
             os.path.join(folder, "database.mdb"), "--script", script],
            cwd=folder, stdout=self._open(f"{name}-trace.jsonl"), stderr=self._open(f"{name}-monitor.log"))
        self.stations.append((name, simulator, monitor, folder))

    def _open(self, name):
        f = open(os.path.join(self.work, name), "w")
        self.files.append(f)
        return f

    @staticmethod
    def _simulator_port(path, simulator):
        deadline = time.time() + 10
        while time.time() < deadline:
            with open(path) as f:
                first = f.readline()
            match = re.search(r'"path":"([^"]*)"', first)
            if match:
                return match.group(1)
            if simulator.poll() is not None:
                break
            time.sleep(0.05)
        raise RuntimeError("the simulator did not open its pseudo-terminal")

    def stop_station(self, index, how=signal.SIGTERM):
        monitor = self.stations[index][2]
        monitor.send_signal(how)
        monitor.wait(timeout=20)

    def close(self):
        for _, simulator, monitor, _ in self.stations:
            for process in (monitor, simulator):
                if process.poll() is None:
                    process.terminate()
                    try:
                        process.wait(timeout=15)
                    except subprocess.TimeoutExpired:
                        process.kill()
                        process.wait()
        if self.broker and self.broker.poll() is None:
            self.broker.terminate()
            self.broker.wait(timeout=10)
        for f in self.files:
            f.close()


def main():
    parser = argparse.ArgumentParser(description="Simulated stations, a broker and the plant overview page.")
    parser.add_argument("--stations", type=int, default=2)
    parser.add_argument("--seconds", type=float, default=0, help="end after this long (default: at Ctrl-C)")
    parser.add_argument("--bin", default=os.environ.get("KELVORA_BIN", os.path.join(ROOT, "build", "bin")))
    parser.add_argument("--listen", default="127.0.0.1",
                        help="the page's address (0.0.0.0: every interface, for tablets on the plant network)")
    args = parser.parse_args()
    work = tempfile.mkdtemp(prefix="kelvora-plant.")
    demo = PlantDemo(os.path.abspath(args.bin), work, args.listen)
    stop = []
    signal.signal(signal.SIGTERM, lambda *_: stop.append(True))
    try:
        demo.start_broker()
        for i in range(args.stations):
            demo.start_station(f"线{i + 1}", seed=7 + i)
        print(f"The plant: {args.stations} simulated stations publishing to mosquitto on port {demo.mqtt_port}.")
        print(f"Open the plant overview page: {demo.page_url}")
        print(f"Stations, traces and the broker's log: {work}. Ctrl-C ends the demo.", flush=True)
        deadline = time.time() + args.seconds if args.seconds else None
        while not stop and (deadline is None or time.time() < deadline):
            time.sleep(0.2)
    except KeyboardInterrupt:
        pass
    finally:
        demo.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
