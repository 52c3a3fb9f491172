#!/usr/bin/env bash
# CPU time and resident memory of `kelvora-tool monitor` on a continuous indicator stream.
#
# Starts `kelvora-tool simulate` (Toledo frames at 9600 baud, one product a second, 20 readings a second),
# runs the monitor on its pseudo-terminal with batch values out of reach, and samples the monitor once a
# second: CPU time (utime + stime of /proc/PID/stat) and resident memory (VmRSS of /proc/PID/status).
# Prints the CPU share of one core over the run and the RSS at the end of the warm-up (the baseline), at
# the end and at its highest after the warm-up. Builds nothing: expects build/bin/kelvora-tool.
#
#   bench/monitor-load.sh [--seconds N] [--warmup N] [--rate R] [--tool PATH] [--keep DIR]
#     --seconds N   how long the monitor is measured (default 60)
#     --rate R      indicator readings a second (default 20; 54 or more is frames back to back)
#     --warmup N    seconds before the RSS baseline is taken (default 30, at most half the run)
#     --tool PATH   the kelvora-tool program (default build/bin/kelvora-tool next to this script's folder)
#     --keep DIR    keep the samples, the traces and the script in DIR instead of a temporary folder
#
# Targets: CPU at most 2 % of one core; RSS after the warm-up flat within 1 MiB. Exit status 0 when the run
# was measured (whatever the numbers), 1 when it could not be, 2 on bad options.
set -euo pipefail

root="$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)"
seconds=60
warmup=30
rate=20
tool="$root/build/bin/kelvora-tool"
keep=""

usage() {
    sed -n '10,15p' "$0" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

while [ $# -gt 0 ]; do
    case "$1" in
        --seconds) seconds="${2:-}"; shift 2 ;;
        --warmup) warmup="${2:-}"; shift 2 ;;
        --rate) rate="${2:-}"; shift 2 ;;
        --tool) tool="${2:-}"; shift 2 ;;
        --keep) keep="${2:-}"; shift 2 ;;
        *) usage ;;
    esac
done
[[ "$seconds" =~ ^[1-9][0-9]*$ && "$warmup" =~ ^[0-9]+$ && "$rate" =~ ^[1-9][0-9]*$ ]] || usage
if [ "$warmup" -gt $((seconds / 2)) ]; then
    warmup=$((seconds / 2))
fi
if [ ! -x "$tool" ]; then
    echo "monitor-load: $tool not found; build it first (cmake --build build --target kelvora-tool)" >&2
    exit 1
fi

if [ -n "$keep" ]; then
    mkdir -p "$keep"
    work="$(cd "$keep" && pwd)"
else
    work="$(mktemp -d)"
fi
simulator_pid=""
monitor_pid=""
cleanup() {
    for pid in "$monitor_pid" "$simulator_pid"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    if [ -z "$keep" ]; then
        rm -rf "$work"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
    echo "monitor-load: $*" >&2
    exit 1
}

# Enough products for the whole run at one a second, and more.
"$tool" simulate --indicator toledo --baud 9600 --rate "$rate" --products-per-minute 60 --mean 15 --sd 1 \
    --noise 0.01 --seed 1 --count $((seconds * 2 + 60)) >"$work/simulator.jsonl" 2>"$work/simulator.err" &
simulator_pid=$!

port=""
for _ in $(seq 50); do
    port="$(head -n 1 "$work/simulator.jsonl" 2>/dev/null | sed -n 's/^{"ev":"port","path":"\([^"]*\)"}$/\1/p')"
    [ -n "$port" ] && break
    kill -0 "$simulator_pid" 2>/dev/null || fail "the simulator ended: $(cat "$work/simulator.err")"
    sleep 0.1
done
[ -n "$port" ] || fail "the simulator named no port"

# Batch values out of reach and limits that take every product: the station counts and sends all run long.
printf '0 set LabeledEdit1 1000000\n0 set LabeledEdit2 999999\n0 select M1 15 100 0\n' >"$work/script.txt"
"$tool" monitor --port "$port" --script "$work/script.txt" --seconds $((seconds + 2)) \
    >"$work/monitor.jsonl" 2>"$work/monitor.err" &
monitor_pid=$!

ticks_per_second="$(getconf CLK_TCK)"
# Prints "CPU_TICKS RSS_KIB" of the monitor; fails once it has gone.
sample() {
    local stat status
    stat="$(cat "/proc/$monitor_pid/stat" 2>/dev/null)" || return 1
    status="$(cat "/proc/$monitor_pid/status" 2>/dev/null)" || return 1
    # The fields after the program's name (which may hold blanks): utime and stime are the 12th and 13th.
    local -a fields
    read -r -a fields <<<"${stat##*) }"
    echo "$((fields[11] + fields[12])) $(awk '/^VmRSS:/ { print $2 }' <<<"$status")"
}

start="$EPOCHREALTIME"
: >"$work/samples.txt"
for ((n = 0; n <= seconds; n++)); do
    # On the second from the start, whatever the sampling itself took.
    delay="$(awk -v s="$start" -v n="$n" -v now="$EPOCHREALTIME" 'BEGIN { d = s + n - now; print (d > 0 ? d : 0) }')"
    sleep "$delay"
    line="$(sample)" || fail "the monitor ended early: $(cat "$work/monitor.err")"
    elapsed="$(awk -v s="$start" -v now="$EPOCHREALTIME" 'BEGIN { printf "%.3f", now - s }')"
    echo "$elapsed $line" >>"$work/samples.txt"
done
peak_kib="$(awk '/^VmHWM:/ { print $2 }' "/proc/$monitor_pid/status")"

wait "$monitor_pid" || fail "the monitor exited with status $?: $(cat "$work/monitor.err")"
monitor_pid=""
kill -0 "$simulator_pid" 2>/dev/null || fail "the simulator stopped streaming during the run"

trace_lines="$(wc -l <"$work/monitor.jsonl")"
products="$(grep -c '"ev":"product"' "$work/simulator.jsonl" || true)"
frames_back="$(grep -c '"ev":"frame"' "$work/simulator.jsonl" || true)"
[ "$trace_lines" -gt "$seconds" ] || fail "the monitor traced only $trace_lines lines: is the stream reaching it?"

awk -v hz="$ticks_per_second" -v rate="$rate" -v warmup="$warmup" -v peak="$peak_kib" -v lines="$trace_lines" \
    -v products="$products" -v frames="$frames_back" '
    { t[NR] = $1; cpu[NR] = $2; rss[NR] = $3 }
    END {
        span = t[NR] - t[1]
        share = 100 * (cpu[NR] - cpu[1]) / hz / span
        # The baseline is the first sample at or after the warm-up.
        for (b = 1; b < NR && t[b] < warmup; b++) {}
        max = rss[b]
        for (i = b; i <= NR; i++) if (rss[i] > max) max = rss[i]
        growth = max - rss[b]
        printf "monitor load: %.0f s of a 9600-baud Toledo stream at %d readings/s, %d products simulated, %d trace lines, %d output frames back\n", span, rate, products, lines, frames
        printf "cpu:  %.2f %% of one core over %.0f s (%.2f s of CPU time)   target <= 2 %%: %s\n", share, span, (cpu[NR] - cpu[1]) / hz, share <= 2 ? "met" : "MISSED"
        printf "rss:  at start %d KiB; after %.0f s warm-up (baseline) %d KiB; last %d KiB; max %d KiB; peak (VmHWM) %d KiB\n", rss[1], t[b], rss[b], rss[NR], max, peak
        printf "rss growth after warm-up: %+d KiB (max %+d KiB)   target flat within 1024 KiB: %s\n", rss[NR] - rss[b], growth, growth <= 1024 ? "met" : "MISSED"
    }' "$work/samples.txt"
if [ -n "$keep" ]; then
    echo "samples (elapsed s, CPU ticks, RSS KiB) and traces kept in $work"
fi
