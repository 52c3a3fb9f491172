#!/usr/bin/env bash
# Whether the station window keeps pace with the line: the real window (`kelvora`, offscreen, logged in,
# stable capture, batch values 0/0) on the indicator simulator at a given number of products a minute, 20
# Toledo readings a second, the demo's 大米-25kg (25, limits 24.75 to 25.5) weighing 25.1 ± 0.22, so that
# about one product in ten is out of the limits. Builds nothing: expects kelvora and kelvora-tool in --bin.
#
#   bench/line-pace.sh [--rate PER_MIN] [--minutes N] [--out FILE] [--keep DIR] [--bin DIR] [--gap-ms MS] [--seed S]
#
#   --rate      products a minute (default 100)              --minutes  the run's length (default 10)
#   --out       the summary as JSON                          --keep     keep the reports, trace and station here
#   --bin       where the programs are (default build/bin)   --gap-ms   least empty platform between products (100)
#
# Prints a table row: products sent, verdicts, products with one/no/more verdicts; the delay from each
# product's settling reading (the one whose handling gave the verdict; the time its last byte reached the
# pseudo-terminal) to its tolerance lamp, p50/p99/max, over the run and its first and last window (10
# minutes, or half a shorter run); the alarm's lateness: from each out-of-limits verdict to the first frame
# with the alarm bit handed to the port once Timer2 fired, less Timer2's interval (Option.ini [时钟]
# 开始输出). Both programs run with KELVORA_MONOTONIC_TRACE set, which adds their CLOCK_MONOTONIC times
# to their output (see README). Targets: one verdict per product, delay p99 <= 50 ms with no growth, alarm
# within 20 ms of its due time. The delay includes the serial component's 16 ms read interval.
#
# Exit status 0 when the run was measured (whatever the numbers), 1 when it could not be, 2 on bad options.
set -euo pipefail
root="$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)"
rate=100
minutes=10
out=""
keep=""
bin="$root/build/bin"
gap=100
seed=1

usage() {
    sed -n '7,11p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}
while [ $# -gt 0 ]; do
    case "$1" in
        --rate) rate="${2:-}"; shift 2 ;;
        --minutes) minutes="${2:-}"; shift 2 ;;
        --out) out="${2:-}"; shift 2 ;;
        --keep) keep="${2:-}"; shift 2 ;;
        --bin) bin="${2:-}"; shift 2 ;;
        --gap-ms) gap="${2:-}"; shift 2 ;;
        --seed) seed="${2:-}"; shift 2 ;;
        *) usage ;;
    esac
done
number='^[0-9]+([.][0-9]+)?$'
[[ "$rate" =~ $number && "$minutes" =~ $number && "$gap" =~ $number && "$seed" =~ ^[0-9]+$ ]] || usage
for program in kelvora kelvora-tool; do
    [ -x "$bin/$program" ] || { echo "line-pace: $bin/$program not found; build it first" >&2; exit 1; }
done

if [ -n "$keep" ]; then
    mkdir -p "$keep"
    work="$(cd "$keep" && pwd)"
    rm -rf "$work/station"
else
    work="$(mktemp -d /tmp/kelvora-line-pace.XXXXXX)"
fi
simulator=""
station=""
cleanup() {
    for pid in "$station" "$simulator"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    [ -n "$keep" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
fail() {
    echo "line-pace: $*" >&2
    exit 1
}

# The products of the run, and the script's times (ms from the window's start; the stream starts when
# Start opens the port, and the simulator's first product comes a second later).
read -r count cycle_ms on_platform_ms < <(awk -v r="$rate" -v m="$minutes" -v g="$gap" 'BEGIN {
    period = 50; cycle = 60000 / r; per_cycle = cycle / period
    gap_readings = int(g / period); if (gap_readings * period < g) gap_readings++; if (gap_readings < 1) gap_readings = 1
    printf "%d %.3f %d\n", int(r * m + 0.5), cycle, (int(per_cycle + 1e-9) - gap_readings) * period }')
[ "$count" -ge 1 ] || usage
start_ms=1000
# Stop after the last product's alarm could have gone out (Timer2 after at most 1 s), still within the
# simulator's 3 s of empty platform after the last product, so that the line is there until the close.
stop_ms=$(awk -v s="$start_ms" -v n="$count" -v c="$cycle_ms" -v p="$on_platform_ms" \
    'BEGIN { printf "%d", s + 1000 + (n - 1) * c + p + 1500 }')

export KELVORA_MONOTONIC_TRACE=1
# Entry and exit readings at half of the demo station's product threshold (0.2), below it.
"$bin/kelvora-tool" simulate --products-per-minute "$rate" --rate 20 --gap-ms "$gap" --mean 25.1 --sd 0.22 \
    --threshold 0.2 --seed "$seed" --count "$count" >"$work/simulator.jsonl" 2>"$work/simulator.err" &
simulator=$!
port=""
for _ in $(seq 100); do
    port="$(head -n 1 "$work/simulator.jsonl" 2>/dev/null | sed -n 's/^{"ev":"port","path":"\([^"]*\)"}$/\1/p')"
    [ -n "$port" ] && break
    kill -0 "$simulator" 2>/dev/null || fail "the simulator ended: $(cat "$work/simulator.err")"
    sleep 0.05
done
[ -n "$port" ] || fail "the simulator named no port"

"$bin/kelvora-tool" station init "$work/station" --demo --port "$port" >"$work/station-init.log" 2>&1 ||
    fail "station init: $(cat "$work/station-init.log")"
ini="$work/station/Option.ini"
# The stable capture and batch values of 0, whatever the folder's defaults are.
set_key() { # SECTION KEY VALUE
    python3 - "$ini" "$1" "$2" "$3" <<'PY'
import sys
path, section, key, value = sys.argv[1:]
lines = open(path, encoding="utf-8-sig").read().splitlines()
head = lines.index(f"[{section}]") if f"[{section}]" in lines else None
if head is None:
    lines += [f"[{section}]", f"{key}={value}"]
else:
    end = next((i for i in range(head + 1, len(lines)) if lines[i].startswith("[")), len(lines))
    at = next((i for i in range(head + 1, end) if lines[i].split("=", 1)[0].strip() == key), None)
    if at is None:
        lines.insert(end, f"{key}={value}")
    else:
        lines[at] = f"{key}={value}"
open(path, "w", encoding="utf-8").write("\n".join(lines) + "\n")
PY
}
set_key 算法 取样 稳定
set_key Word Num 0
set_key Word TX_Num 0

printf '0 set ComboBox1 admin\n0 set Edit1 123456\n0 click RzBitBtn1\n500 choose ComboBox1 大米-25kg\n%d click BtnClear\n%d click BtnSetTabs\n%d close\n' \
    "$start_ms" "$stop_ms" "$((stop_ms + 500))" >"$work/script.txt"
QT_QPA_PLATFORM=offscreen "$bin/kelvora" --dir "$work/station" --port "$port" --script "$work/script.txt" --trace \
    >"$work/trace.jsonl" 2>"$work/station.err" &
station=$!
# However far behind the station falls, the run ends: a minute after the script's close at the latest.
deadline=$(( $(date +%s) + stop_ms / 1000 + 60 ))
while kill -0 "$station" 2>/dev/null; do
    if [ "$(date +%s)" -ge "$deadline" ]; then
        echo "line-pace: the station did not end in time; stopped" >&2
        kill "$station" 2>/dev/null || true
    fi
    sleep 1
done
status=0
wait "$station" || status=$?
station=""
# The simulator ends a few seconds after the close; one that never saw the station open would wait on.
for _ in $(seq 50); do
    kill -0 "$simulator" 2>/dev/null || break
    sleep 0.2
done
kill "$simulator" 2>/dev/null || true
wait "$simulator" 2>/dev/null || true
simulator=""
[ "$status" -eq 0 ] || fail "the station exited with status $status: $(tail -3 "$work/station.err")"

window=$(awk -v m="$minutes" 'BEGIN { w = m / 2; if (w > 10) w = 10; printf "%g", w }')
python3 "$root/bench/line_pace_analysis.py" --simulator "$work/simulator.jsonl" --trace "$work/trace.jsonl" \
    --ini "$ini" --rate "$rate" --minutes "$minutes" --window-minutes "$window" ${out:+--out "$out"} ||
    fail "the analysis failed"
[ -z "$keep" ] || echo "reports, trace, script and station folder kept in $work"
