#!/usr/bin/env python3
"""The plant overview page in Debian's headless Chromium against a mosquitto fed by two simulated
stations (tools/plant_demo.py): both stations appear running with their figures, a station that closes
and one that is killed turn grey, and the page fits a 1366x768 screen and a tablet. KELVORA_BIN_DIR names
the programs; KELVORA_PLANT_SCREENSHOT, when set, is where the screenshot goes."""

import os
import signal
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools"))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))

from headless_chromium import HeadlessChromium  # noqa: E402
from plant_demo import PlantDemo  # noqa: E402

BIN = os.environ.get("KELVORA_BIN_DIR", os.path.join(ROOT, "build", "bin"))

CARDS = "[...document.querySelectorAll('.station')]"


def card_js(name, expression):
    return (f"(() => {{ const c = {CARDS}.find(c => c.querySelector('.name').textContent === '{name}');"
            f" return c ? ({expression}) : null; }})()")


class PlantPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="kelvora-plant-test.")
        cls.demo = PlantDemo(BIN, cls.work, products_per_minute=133)
        cls.browser = None
        try:
            cls.demo.start_broker()
            cls.demo.start_station("线1", seed=7)
            cls.demo.start_station("线2", seed=8)
            cls.browser = HeadlessChromium(1366, 768)
            cls.browser.open(cls.demo.page_url)
        except Exception:
            cls.tearDownClass()
            raise

    @classmethod
    def tearDownClass(cls):
        if cls.browser:
            cls.browser.close()
        cls.demo.close()

    def test_two_running_stations_then_one_closed_and_one_killed(self):
        b = self.browser
        for name in ("线1", "线2"):
            # Running, with products counted and weights on the chart.
            b.wait_for(card_js(name, "c.querySelector('.run').textContent === '运行中' && "
                                     "Number(c.querySelector('.count').textContent) >= 3"), timeout=40)
            self.assertIn("大米-5kg", b.evaluate(card_js(name, "c.querySelector('.model').textContent")))
            key = f"kelvora/{name}"
            self.assertGreaterEqual(b.evaluate(f"window.plant.stations.get('{key}').recent.length"), 1)
        self.assertEqual(b.evaluate("document.getElementById('summary').textContent"), "2 个站点：2 运行中，0 离线")
        self.assertTrue(b.evaluate("window.plant.connected"))
        # The figures come every 10 s: the rate, the reject share and the mean of the live lot.
        b.wait_for(card_js("线1", "c.querySelector('.mean').textContent.endsWith(' kg') && "
                                  "c.querySelector('.reject').textContent.endsWith('%') && "
                                  "parseInt(c.querySelector('.rate').textContent) > 0"), timeout=25)
        print(f"page update delay (message to drawn card): {b.evaluate('window.plant.lastDelayMs'):.1f} ms")
        shot = os.environ.get("KELVORA_PLANT_SCREENSHOT") or os.path.join(self.work, "plant.png")
        b.screenshot(shot)
        # Nothing wider than the screen, nor on a tablet held upright.
        self.assertLessEqual(b.evaluate("document.documentElement.scrollWidth"), 1366)
        b.call("Emulation.setDeviceMetricsOverride", {"width": 800, "height": 1280, "deviceScaleFactor": 1,
                                                      "mobile": True})
        self.assertLessEqual(b.evaluate("document.documentElement.scrollWidth"), 800)
        b.call("Emulation.setDeviceMetricsOverride", {"width": 1366, "height": 768, "deviceScaleFactor": 1,
                                                      "mobile": False})

        # 线2 closes: it says offline itself. 线1 dies: the broker sends its last will.
        self.demo.stop_station(1, signal.SIGTERM)
        b.wait_for(card_js("线2", "c.classList.contains('offline') && "
                                  "c.querySelector('.run').textContent === '离线'"), timeout=15)
        self.assertFalse(b.evaluate(card_js("线1", "c.classList.contains('offline')")))
        self.demo.stop_station(0, signal.SIGKILL)
        b.wait_for(card_js("线1", "c.classList.contains('offline')"), timeout=15)
        self.assertEqual(b.evaluate("document.getElementById('summary').textContent"), "2 个站点：0 运行中，2 离线")


if __name__ == "__main__":
    unittest.main()
