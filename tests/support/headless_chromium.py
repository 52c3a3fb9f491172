"""Debian's Chromium, headless, driven over its DevTools protocol (python3-websocket): open a page,
evaluate JavaScript in it, take a screenshot. Nothing is downloaded; the browser runs in a profile
folder of its own and is stopped with the object."""

import base64
import json
import os
import shutil
import subprocess
import tempfile
import time
import urllib.request

import websocket


class HeadlessChromium:
    def __init__(self, width=1366, height=768, binary=None):
        self.profile = tempfile.mkdtemp(prefix="kelvora-chromium-")
        binary = binary or shutil.which("chromium") or "/usr/bin/chromium"
        self.process = subprocess.Popen(
            [binary, "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--disable-dev-shm-usage", "--remote-debugging-port=0", f"--user-data-dir={self.profile}",
             f"--window-size={width},{height}", "--hide-scrollbars", "about:blank"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port = self._debugging_port()
        with urllib.request.urlopen(f"http://127.0.0.1:{port}/json/list", timeout=5) as answer:
            pages = [t for t in json.load(answer) if t.get("type") == "page"]
        self.socket = websocket.create_connection(pages[0]["webSocketDebuggerUrl"], timeout=30)
        self.next_id = 0
        self.call("Emulation.setDeviceMetricsOverride",
                  {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})

    def _debugging_port(self):
        marker = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.time() + 20
        while time.time() < deadline:
            if self.process.poll() is not None:
                raise RuntimeError("chromium exited at start")
            if os.path.exists(marker):
                with open(marker) as f:
                    first = f.readline().strip()
                if first:
                    return int(first)
            time.sleep(0.05)
        raise RuntimeError("chromium did not open its debugging port")

    def call(self, method, params=None):
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params or {}}))
        while True:
            message = json.loads(self.socket.recv())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError(f"{method}: {message['error']}")
                return message.get("result", {})

    def open(self, url):
        self.call("Page.navigate", {"url": url})
        self.wait_for("document.readyState === 'complete'")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", {"expression": expression, "returnByValue": True})
        if "exceptionDetails" in result:
            raise RuntimeError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout=20.0):
        """Evaluates expression until it is true; its last value otherwise raises TimeoutError."""
        deadline = time.time() + timeout
        while True:
            value = self.evaluate(expression)
            if value:
                return value
            if time.time() > deadline:
                raise TimeoutError(f"not true after {timeout} s: {expression}")
            time.sleep(0.05)

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", {"format": "png"})["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        try:
            self.socket.close()
        finally:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
