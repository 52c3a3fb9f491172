#!/usr/bin/env python3
"""The line-pace benchmark's analysis on small hand-made reports and traces."""

import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import line_pace_analysis as lpa  # noqa: E402

MS = lpa.NS_PER_MS
THRESHOLD = 10.0


def toledo(weight):
    """A Toledo frame's hex as the simulator reports it: STX, three status bytes, six weight digits in
    hundredths, six tare digits, CR, a checksum (not looked at)."""
    return (b"\x02" + b"4 0" + b"%06d" % round(weight * 100) + b"000000\r" + b"X").hex().upper()


def simulator(values, first_ms=1000, period_ms=50, products=None):
    events = [{"ev": "port", "path": "/dev/pts/9"}, {"ev": "clock", "monotonic_ns": 0}]
    for k, value in enumerate(values):
        events.append({"ev": "reading", "monotonic_ns": (first_ms + k * period_ms) * MS, "hex": toledo(value)})
    runs = lpa.runs_of(values, THRESHOLD)
    events += [{"ev": "product", "n": n + 1, "weight": 0, "t": 0} for n in range(products or len(runs))]
    return lpa.Simulator(events)


def trace(lines, origin_ms=0):
    return lpa.Trace([{"t": 5, "ev": "window", "name": "TLoginfrm", "shown": True},
                      {"t": 0, "ev": "clock", "monotonic_ns": origin_ms * MS}] + lines)


def handled(values, first_ms=1000, period_ms=50, lag_ms=20, verdicts=None):
    """The trace of a station that handles each value lag_ms after it was sent; verdicts maps a value's
    index to its verdict, made in that reading's handling (lamp, Timer2 when out, record)."""
    lines = []
    for k, value in enumerate(values):
        t = first_ms + k * period_ms + lag_ms
        lines.append({"t": t, "ev": "Edit1", "text": f"{value:.2f}"})
        verdict = (verdicts or {}).get(k)
        if verdict:
            lines.append({"t": t + 1, "ev": "Shape1", "color": "lime" if verdict == "正常" else "red"})
            if verdict != "正常":
                lines.append({"t": t + 1, "ev": "timer", "name": "Timer2", "enabled": True})
            lines.append({"t": t + 2, "ev": "record", "verdict": verdict, "model": "B250", "weight": "1"})
    return lines


# Two products of five readings at full weight, with entry and exit readings at half the threshold.
LINE = [0, 0, 5, 250, 250, 250, 250, 250, 5, 0, 0, 5, 248, 248, 248, 248, 248, 5, 0, 0]
THIRD = [0, 5, 251, 251, 251, 251, 251, 5, 0]


class Decoding(unittest.TestCase):
    def test_frames_read_as_the_station_reads_them(self):
        self.assertEqual(lpa.reading_value(toledo(252.6)), 252.6)
        # Yaohua: STX, sign, six digits in tenths, ...; the sign is kept.
        self.assertEqual(lpa.reading_value(b"\x02-0012341A5\x03".hex()), -123.4)
        self.assertIsNone(lpa.reading_value(b"0000250000".hex()))  # no STX: the station drops it
        self.assertIsNone(lpa.reading_value(b"\x024 0 02500000000\r".hex()))  # a field that does not convert

    def test_percentile_is_the_nearest_rank(self):
        values = list(range(1, 101))
        self.assertEqual(lpa.percentile(values, 50), 50)
        self.assertEqual(lpa.percentile(values, 99), 99)
        self.assertEqual(lpa.percentile([7.0], 99), 7.0)
        self.assertIsNone(lpa.percentile([], 50))


class Alignment(unittest.TestCase):
    def test_a_station_that_saw_every_reading_maps_one_to_one(self):
        mapping, differently, missed = lpa.align(LINE, LINE, THRESHOLD)
        self.assertEqual(mapping, list(range(len(LINE))))
        self.assertEqual((differently, missed), (0, 0))

    def test_a_misread_reading_stands_for_the_one_sent_in_its_place(self):
        seen = LINE[:5] + [526.0] + LINE[6:]
        mapping, differently, missed = lpa.align(seen, LINE, THRESHOLD)
        self.assertEqual(mapping, list(range(len(LINE))))
        self.assertEqual((differently, missed), (1, 0))

    def test_a_frame_in_two_chunks_and_a_lost_reading_shift_what_follows(self):
        # An extra piece in the first product, one 248 lost in the second; the third as sent.
        seen = LINE[:4] + [2.5] + LINE[4:13] + LINE[14:] + THIRD
        mapping, differently, missed = lpa.align(seen, LINE + THIRD, THRESHOLD)
        self.assertEqual(mapping[:4], [0, 1, 2, 3])
        self.assertEqual(mapping[5:9], [4, 5, 6, 7])
        self.assertEqual(mapping[-len(THIRD) - 3 :], list(range(17, len(LINE) + len(THIRD))))
        self.assertEqual((differently, missed), (1, 1))

    def test_readings_before_the_station_listened_are_not_handled(self):
        seen = LINE[1:]
        mapping, differently, missed = lpa.align(seen, LINE, THRESHOLD)
        self.assertEqual(mapping, list(range(1, len(LINE))))
        self.assertEqual((differently, missed), (0, 1))

    def test_far_apart_the_next_product_realigns(self):
        other = [0, 5, 249, 249, 249, 249, 249, 5, 0] * 2
        sent = LINE + other + THIRD
        seen = LINE + THIRD  # two products never seen
        mapping, _, missed = lpa.align(seen, sent, THRESHOLD)
        self.assertEqual(mapping[: len(LINE)], list(range(len(LINE))))
        # The empty platform and the entry before the third may pair with alike readings before it.
        self.assertEqual(mapping[len(LINE) + 2 :], list(range(len(LINE) + len(other) + 2, len(sent))))
        self.assertEqual(missed, len(other))


class Verdicts(unittest.TestCase):
    def test_each_verdict_belongs_to_its_product_and_is_timed_from_its_reading(self):
        # The first product settles at its fourth reading at full weight; the second at its exit; the
        # second is judged once more. The trace's clock starts 400 ms after the simulator's.
        verdicts = {6: "正常", 17: "超低"}
        lines = handled(LINE, verdicts=verdicts)
        for line in lines:
            line["t"] -= 400
        lines.append({"t": 2000, "ev": "Edit1", "text": "0.00"})
        lines.append({"t": 2001, "ev": "Shape1", "color": "lime"})
        lines.append({"t": 2001, "ev": "record", "verdict": "正常", "model": "B250", "weight": "1"})
        found, per_product, _, _ = lpa.verdict_delays(simulator(LINE), trace(lines, origin_ms=400), THRESHOLD)
        self.assertEqual(per_product, [1, 1])
        self.assertEqual([v["product"] for v in found], [0, 1, None])
        # Handled 20 ms after the last byte, the lamp 1 ms later, the trace counting whole milliseconds.
        self.assertEqual((found[0]["lamp_ns"] - found[0]["reading_ns"]) / MS, 21.5)
        self.assertEqual(found[1]["reading_ns"], (1000 + 17 * 50) * MS)

    def test_a_product_judged_twice_or_never_is_counted(self):
        lines = handled(LINE, verdicts={6: "正常", 7: "超高"})
        found, per_product, _, _ = lpa.verdict_delays(simulator(LINE), trace(lines), THRESHOLD)
        self.assertEqual(per_product, [2, 0])
        summary = lpa.analyse(simulator(LINE), trace(lines), THRESHOLD, 1000, 10)
        self.assertEqual(summary["products_one_none_more"], [0, 1, 1])

    def test_windows_split_the_delays_by_the_settling_reading(self):
        verdicts = [
            {"product": 0, "reading_ns": 0, "lamp_ns": 10 * MS},
            {"product": 1, "reading_ns": 60_000 * MS, "lamp_ns": 60_030 * MS},
            {"product": 2, "reading_ns": 119_000 * MS, "lamp_ns": 119_050 * MS},
            {"product": None, "reading_ns": 119_500 * MS, "lamp_ns": 129_000 * MS},  # no product: left out
        ]
        delays = lpa.delay_windows(verdicts, 0, 120_000 * MS, 60_000)
        self.assertEqual(delays["all"], [10, 30, 50])
        self.assertEqual(delays["first"], [10])
        self.assertEqual(delays["last"], [30, 50])
        self.assertEqual(delays["each"], [[10], [30, 50]])


class Alarms(unittest.TestCase):
    @staticmethod
    def frame(t, flags, sent=True):
        return {"t": t, "ev": "frame", "flags": flags, "hex": "", "sent": sent}

    @staticmethod
    def timer2(t, enabled):
        return {"t": t, "ev": "timer", "name": "Timer2", "enabled": enabled}

    def alarms(self, lines):
        tr = trace(lines)
        found, _, _, _ = lpa.verdict_delays(simulator(LINE), tr, THRESHOLD)
        return lpa.alarm_delays(tr, found, 1000)

    def test_lateness_is_counted_from_the_verdict_to_the_first_alarm_frame_after_timer2_fired(self):
        lines = handled(LINE, verdicts={6: "超高"})
        verdict_t = lines[7]["t"] + 1
        lines.append(self.frame(verdict_t + 600, 5))  # a counted product's frame still carries the bit
        lines.append(self.timer2(verdict_t + 1003, False))
        lines.append(self.frame(verdict_t + 1003, 4, sent=False))  # the port was closed: not on the line
        lines.append(self.frame(verdict_t + 1012, 4))
        late, shared, missing, early = self.alarms(lines)
        self.assertEqual([d for _, d in late], [12])
        self.assertEqual(late[0][0], (verdict_t + 0.5) * MS)
        self.assertEqual((shared, missing, early), (0, 0, 1))

    def test_an_alarm_frame_held_back_past_the_next_verdict_is_still_its_alarms(self):
        # Timer2 fires while an earlier alarm's clearing frames hold the line; the next out-of-limits
        # verdict arms Timer2 again before the alarm frame leaves.
        lines = handled(LINE, verdicts={6: "超高"})
        verdict_t = lines[7]["t"] + 1
        lines += [self.timer2(verdict_t + 1000, False), self.frame(verdict_t + 1000, 0)]
        lines += [self.timer2(verdict_t + 1199, True), self.frame(verdict_t + 1201, 4)]
        late, _, missing, _ = self.alarms(lines)
        self.assertEqual(([d for _, d in late], missing), ([201], 0))

    def test_a_verdict_while_timer2_runs_goes_out_with_the_earlier_one(self):
        lines = handled(LINE, verdicts={6: "超高", 14: "超低"})
        lines = [line for k, line in enumerate(lines) if not (line["ev"] == "timer" and k > 10)]
        lines.append(self.timer2(3000, False))
        lines.append(self.frame(3000, 5))
        late, shared, missing, _ = self.alarms(lines)
        self.assertEqual((len(late), shared, missing), (1, 1, 0))

    def test_an_alarm_that_never_reached_the_port_is_counted_missing(self):
        # Its bit cleared before Timer2 fired: the next alarm bit on the line is a later alarm's.
        lines = handled(LINE, verdicts={6: "超高"}) + [self.timer2(3000, False), self.frame(3000, 1)]
        lines += [self.timer2(9000, True), self.timer2(10000, False), self.frame(10000, 4)]
        late, shared, missing, _ = self.alarms(lines)
        self.assertEqual((late, shared, missing), ([], 0, 1))


if __name__ == "__main__":
    unittest.main()
