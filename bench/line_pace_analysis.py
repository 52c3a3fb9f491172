#!/usr/bin/env python3
"""The line-pace benchmark's figures, from the simulator's report and the station window's trace.

Both were written with KELVORA_MONOTONIC_TRACE set: the simulator reports each reading when its last byte
was handed to the pseudo-terminal ({"ev":"reading","monotonic_ns":N,"hex":H}), the station's trace starts
its real clock with {"ev":"clock","monotonic_ns":N}; both read CLOCK_MONOTONIC, so a trace line's time is
its clock's origin plus "t" milliseconds (the trace counts whole milliseconds: half a millisecond is added).

Which reading made a verdict is taken from the station's own handling, so no capture rule is repeated
here: each reading handled leaves an "Edit1" line, and a "record" line follows the Edit1 line of the
reading that made it. A product is a run of readings above the product threshold, on both sides; the
station's runs are matched to the simulator's by their readings' values, and the verdict's reading is the
one at the same place in the matched run (or the first reading after the run: a verdict at the exit).

  python3 line_pace_analysis.py --simulator SIM.jsonl --trace TRACE.jsonl --ini Option.ini
      [--rate PER_MIN] [--minutes N] [--window-minutes W] [--out FILE]
"""

import argparse
import json
import sys

NS_PER_MS = 1_000_000
OUT_OF_LIMITS = ("超高", "超低")
ALARM_BIT = 4
VALUE_TOLERANCE = 1e-6


def percentile(values, p):
    """The nearest-rank percentile (the p-quantile's smallest value with at least p of the values below)."""
    if not values:
        return None
    ordered = sorted(values)
    rank = max(1, -(-len(ordered) * p // 100))
    return ordered[int(rank) - 1]


def spread(values):
    return {
        "n": len(values),
        "p50": percentile(values, 50),
        "p99": percentile(values, 99),
        "max": max(values) if values else None,
    }


def read_jsonl(path):
    with open(path, encoding="utf-8") as lines:
        for number, line in enumerate(lines, 1):
            line = line.strip()
            if not line:
                continue
            try:
                yield json.loads(line)
            except json.JSONDecodeError as error:
                raise SystemExit(f"{path}:{number}: not JSON ({error})")


def reading_value(hex_frame):
    """The weight the station reads from an indicator frame, as its decoding does: a Toledo frame's last
    five weight digits as hundredths, a Yaohua frame's six digits as tenths with their sign; None when the
    field does not convert (the station drops such a chunk)."""
    frame = bytes.fromhex(hex_frame)
    start = frame.find(b"\x02")
    if start < 0:
        return None
    if len(frame) - start >= 18:  # Toledo: STX, three status bytes, six weight digits, ...
        field, divisor = frame[start + 5 : start + 10], 100.0
    else:  # Yaohua: STX, sign, six digits, ...
        field, divisor = frame[start + 2 : start + 8], 10.0
        if frame[start + 1 : start + 2] == b"-":
            field = b"-" + field
    try:
        return float(field.decode("ascii")) / divisor
    except ValueError:
        return None


def ini_values(path):
    """Option.ini's sections as {section: {key: value}}."""
    sections, current = {}, None
    with open(path, encoding="utf-8-sig") as text:
        for line in text:
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                current = sections.setdefault(line[1:-1], {})
            elif "=" in line and current is not None:
                key, value = line.split("=", 1)
                current[key.strip()] = value.strip()
    return sections


def runs_of(values, threshold):
    """Runs of consecutive values above the threshold: (first index, one past the last)."""
    runs, begin = [], None
    for i, value in enumerate(values):
        if above(value, threshold) and begin is None:
            begin = i
        elif not above(value, threshold) and begin is not None:
            runs.append((begin, i))
            begin = None
    if begin is not None:
        runs.append((begin, len(values)))
    return runs


def same(a, b):
    return a is not None and b is not None and abs(a - b) <= VALUE_TOLERANCE


def anchor(seen, sent, i, j, threshold, reach=2000):
    """The next place from (i, j) where a product starts on both sides with the same readings: the first
    whole run above the threshold in seen from i, and the first in sent from j (within reach readings) with
    the same values. None when there is none."""
    sent_runs = whole_runs(sent, j, j + reach, threshold)
    for begin, end in whole_runs(seen, i, i + reach, threshold):
        for sent_begin, sent_end in sent_runs:
            if sent_end - sent_begin == end - begin and all(
                same(a, b) for a, b in zip(seen[begin:end], sent[sent_begin:sent_end])
            ):
                return begin, sent_begin
    return None


def whole_runs(values, begin, end, threshold):
    """The runs above the threshold that start within values[begin:end], as absolute indices."""
    runs = [(begin + b, begin + e) for b, e in runs_of(values[begin:end], threshold)]
    if runs and runs[0][0] == begin and begin > 0 and above(values[begin - 1], threshold):
        runs.pop(0)  # the rest of a run that started before
    return runs


def above(value, threshold):
    return value is not None and value > threshold


def step_over(seen, sent, i, j, reach, look):
    """At a disagreement at (i, j): how many readings to step over on each side (di seen, dj sent), and
    what that costs: readings read differently or not seen (the larger of di and dj) plus disagreements
    among the next look readings after the step. The cheapest; of equal cost the one closest to as many on
    each side."""
    best = None
    for di in range(reach + 1):
        for dj in range(reach + 1):
            if di == dj == 0:
                continue
            length = min(look, len(seen) - i - di, len(sent) - j - dj)
            after = sum(1 for k in range(length) if not same(seen[i + di + k], sent[j + dj + k]))
            key = (max(di, dj) + after + (look - length), abs(di - dj), di + dj)
            if best is None or key < best[0]:
                best = (key, di, dj)
    return best[1], best[2], best[0][0]


def walk(seen, sent, i, j, threshold, reach, look):
    """Pairs seen[i:] with sent[j:] reading by reading, stepping over disagreements as step_over finds
    cheapest, and starting again at the next product where they fall far apart. Yields (seen index, sent
    index)."""
    while i < len(seen) and j < len(sent):
        if same(seen[i], sent[j]):
            yield i, j
            i, j = i + 1, j + 1
            continue
        di, dj, cost = step_over(seen, sent, i, j, reach, look)
        if cost > reach:
            again = anchor(seen, sent, i, j, threshold)
            if again is None:
                return
            i, j = again
            continue
        for k in range(di):  # misread: each stands for a reading sent in its place, the later ones first
            yield i + k, (j + min(max(dj - di, 0) + k, dj - 1) if dj > 0 else j)
        i, j = i + di, j + dj


def align(seen, sent, threshold, reach=6, look=8):
    """Maps each reading the station handled (seen, in order) to the simulator's reading it stands for
    (sent, in order), or None. A reading the station read differently (a frame that reached it in two
    chunks, say) stands for the reading sent in its place. The two are paired from the first product that
    both show alike, forwards and backwards. Returns (mapping, seen readings that agree with no reading
    sent, readings sent that the station did not handle)."""
    mapping = [None] * len(seen)
    start = anchor(seen, sent, 0, 0, threshold)
    if start is not None:
        i, j = start
        for a, b in walk(seen, sent, i, j, threshold, reach, look):
            mapping[a] = b
        # Backwards: the same walk over the readings before, reversed.
        for a, b in walk(seen[:i][::-1], sent[:j][::-1], 0, 0, threshold, reach, look):
            mapping[i - 1 - a] = j - 1 - b
    differently = sum(1 for k, m in enumerate(mapping) if m is None or not same(seen[k], sent[m]))
    return mapping, differently, len(sent) - len({m for m in mapping if m is not None})


class Simulator:
    """The simulator's report: its products, and the readings it wrote with their monotonic times."""

    def __init__(self, events):
        self.products = 0
        self.reading_ns, self.values = [], []
        for event in events:
            kind = event.get("ev")
            if kind == "product":
                self.products += 1
            elif kind == "reading":
                self.reading_ns.append(event["monotonic_ns"])
                self.values.append(reading_value(event["hex"]))
        if not self.reading_ns:
            raise SystemExit("the simulator's report has no readings: was KELVORA_MONOTONIC_TRACE set?")


class Trace:
    """The station's trace from its clock line on, with each line's monotonic time."""

    def __init__(self, events):
        self.lines = []
        origin = None
        for event in events:
            if event.get("ev") == "clock":
                origin = event["monotonic_ns"]
                self.lines = []
                continue
            if origin is not None:
                event["ns"] = origin + event["t"] * NS_PER_MS + NS_PER_MS // 2
                self.lines.append(event)
        if origin is None:
            raise SystemExit("the trace has no clock line: was KELVORA_MONOTONIC_TRACE set?")


def verdict_delays(sim, trace, threshold):
    """The verdicts, each with its product (the simulator's run index, or None), its settling reading's
    time and its lamp's; the number of verdicts per product; and the alignment's counts."""
    edits, seen, verdicts = [], [], []
    for i, line in enumerate(trace.lines):
        if line["ev"] == "Edit1":
            edits.append(i)
            try:
                seen.append(float(line["text"]))
            except ValueError:
                seen.append(None)
        elif line["ev"] == "record":
            verdicts.append({"line": i, "edit_line": edits[-1] if edits else -1, "edit": len(edits) - 1,
                             "verdict": line["verdict"], "t": line["t"]})
    mapping, differently, missed = align(seen, sim.values, threshold)
    runs = runs_of(sim.values, threshold)
    product_of = {}
    for r, (begin, end) in enumerate(runs):
        for k in range(begin, end + 1):  # end: the first reading after the run, where an exit verdict falls
            product_of.setdefault(k, r)
    per_product = [0] * len(runs)
    for v in verdicts:
        reading = mapping[v["edit"]] if v["edit"] >= 0 else None
        v["product"] = product_of.get(reading)
        v["reading_ns"] = None if reading is None else sim.reading_ns[reading]
        lamp = next((i for i in range(v["line"], v["edit_line"], -1) if trace.lines[i]["ev"] == "Shape1"), None)
        v["lamp_ns"] = None if lamp is None else trace.lines[lamp]["ns"]
        if v["product"] is not None:
            per_product[v["product"]] += 1
    return verdicts, per_product, differently, missed


def alarm_delays(trace, verdicts, interval_ms):
    """For each out-of-limits verdict that armed Timer2, with the verdict's time: its first frame handed to
    the port with the alarm bit once Timer2 fired (the Timer2 'enabled false' line that its handler writes
    first) and before Timer2 fired again, in ms after the verdict, less the interval; an alarm with no such
    frame is counted missing. A verdict that found Timer2 armed already goes out with the earlier one
    (counted as shared); early counts verdicts whose alarm bit reached the port before Timer2 fired, in the
    frames of a product counted meanwhile."""
    lines = trace.lines
    late, shared, missing, early = [], 0, 0, 0
    for v in verdicts:
        if v["verdict"] not in OUT_OF_LIMITS:
            continue
        # The lamp, Timer2's enabling and the record come from the one handling of the verdict's reading.
        if not any(_timer2(lines[i], True) for i in range(max(v["edit_line"], 0), v["line"])):
            shared += 1
            continue
        fired = next((i for i in range(v["line"] + 1, len(lines)) if _timer2(lines[i], False)), None)
        # Once the next alarm's Timer2 fired, an alarm frame is that alarm's.
        frame = None
        if fired is not None:
            bound = next((i for i in range(fired + 1, len(lines)) if _timer2(lines[i], False)), len(lines))
            frame = next((i for i in range(fired, bound) if _alarm_frame(lines[i])), None)
        if frame is None:
            missing += 1
            continue
        if any(_alarm_frame(lines[i]) for i in range(v["line"] + 1, fired)):
            early += 1
        late.append((lines[v["line"]]["ns"], lines[frame]["t"] - v["t"] - interval_ms))
    return late, shared, missing, early


def _timer2(line, enabled):
    return line["ev"] == "timer" and line.get("name") == "Timer2" and bool(line.get("enabled")) == enabled


def _alarm_frame(line):
    return line["ev"] == "frame" and line.get("sent", True) and (line.get("flags", 0) & ALARM_BIT) != 0


def delay_windows(verdicts, first_ns, last_ns, window_ms):
    """The verdicts' delays (ms) by the time of their settling reading: all of them, those of the first and
    of the last window_ms of the readings, and those of each consecutive window_ms from the first."""
    delays = [
        (v["reading_ns"], (v["lamp_ns"] - v["reading_ns"]) / NS_PER_MS)
        for v in verdicts
        if v["product"] is not None and v["lamp_ns"] is not None
    ]
    window_ns = window_ms * NS_PER_MS
    windows = {}
    for at, delay in delays:
        windows.setdefault(int((at - first_ns) // window_ns), []).append(delay)
    return {
        "all": [d for _, d in delays],
        "first": [d for at, d in delays if at < first_ns + window_ns],
        "last": [d for at, d in delays if at >= last_ns - window_ns],
        "each": [windows[k] for k in sorted(windows)],
    }


def analyse(sim, trace, threshold, interval_ms, window_minutes):
    verdicts, per_product, differently, missed = verdict_delays(sim, trace, threshold)
    delays = delay_windows(verdicts, sim.reading_ns[0], sim.reading_ns[-1], window_minutes * 60_000)
    late, shared, missing, early = alarm_delays(trace, verdicts, interval_ms)
    first_ns, last_ns, window_ns = sim.reading_ns[0], sim.reading_ns[-1], window_minutes * 60_000 * NS_PER_MS
    return {
        "products": sim.products,
        "products_seen": len(per_product),
        "verdicts": len(verdicts),
        "products_one_none_more": [
            sum(1 for c in per_product if c == 1),
            sum(1 for c in per_product if c == 0),
            sum(1 for c in per_product if c > 1),
        ],
        "verdicts_unmatched": sum(1 for v in verdicts if v["product"] is None),
        "readings_sent": len(sim.reading_ns),
        "readings_handled": sum(1 for line in trace.lines if line["ev"] == "Edit1"),
        "readings_read_differently": differently,
        "readings_not_handled": missed,
        "delay_ms": spread(delays["all"]),
        "window_minutes": window_minutes,
        "delay_ms_first_window": spread(delays["first"]),
        "delay_ms_last_window": spread(delays["last"]),
        "delay_ms_per_window": [spread(w) for w in delays["each"]],
        "alarm_interval_ms": interval_ms,
        "alarm_late_ms": spread([d for _, d in late]),
        "alarm_late_ms_first_window": spread([d for at, d in late if at < first_ns + window_ns]),
        "alarm_late_ms_last_window": spread([d for at, d in late if at >= last_ns - window_ns]),
        "alarms_sharing_timer2": shared,
        "alarms_without_frame": missing,
        "alarm_bit_before_timer2": early,
        "frames_sent": sum(1 for line in trace.lines if line["ev"] == "frame" and line.get("sent")),
        "frames_not_sent": sum(1 for line in trace.lines if line["ev"] == "frame" and not line.get("sent")),
        "errors_shown": sum(1 for line in trace.lines if line["ev"] == "error"),
    }


def _ms(value):
    return "-" if value is None else f"{value:.1f}"


def _triple(s):
    return f"{_ms(s['p50'])}/{_ms(s['p99'])}/{_ms(s['max'])}"


def row(summary, rate, minutes):
    """One row of the summary table (see header())."""
    first, last = summary["delay_ms_first_window"], summary["delay_ms_last_window"]
    one, none, more = summary["products_one_none_more"]
    return (
        f"| {rate:g}/min | {minutes:g} min | {summary['products']} | {summary['verdicts']} | {one}/{none}/{more} | "
        f"{_triple(summary['delay_ms'])} | {_triple(first)} | {_triple(last)} | "
        f"{_triple(summary['alarm_late_ms'])} ({summary['alarm_late_ms']['n']}) |"
    )


def header(window_minutes):
    return (
        "| rate | run | products | verdicts | one/none/more | reading→lamp p50/p99/max ms | "
        f"first {window_minutes:g} min | last {window_minutes:g} min | alarm − interval p50/p99/max ms (n) |\n"
        "|---|---|---|---|---|---|---|---|---|"
    )


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--simulator", required=True)
    parser.add_argument("--trace", required=True)
    parser.add_argument("--ini", required=True)
    parser.add_argument("--rate", type=float, default=0)
    parser.add_argument("--minutes", type=float, default=0)
    parser.add_argument("--window-minutes", type=float, default=10)
    parser.add_argument("--out")
    args = parser.parse_args(argv)
    ini = ini_values(args.ini)
    threshold = float(ini.get("下限值", {}).get("Value", "10"))
    interval = int(ini.get("时钟", {}).get("开始输出", "1000"))
    summary = analyse(Simulator(read_jsonl(args.simulator)), Trace(read_jsonl(args.trace)), threshold, interval,
                      args.window_minutes)
    summary.update({"rate_per_minute": args.rate, "minutes": args.minutes})
    if args.out:
        with open(args.out, "w", encoding="utf-8") as out:
            json.dump(summary, out, ensure_ascii=False, indent=1)
    print(header(args.window_minutes))
    print(row(summary, args.rate, args.minutes))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
