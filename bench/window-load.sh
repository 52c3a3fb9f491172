#!/usr/bin/env bash
# CPU time and resident memory of the station window (`kelvora`, offscreen) over a run of simulated
# products at 60 a minute: the simulator on a pseudo-terminal, the station on it with a script that chooses
# a model, starts and closes after the run. Samples /proc/PID every 10 s; prints the CPU share of one core
# and the RSS after the warm-up, half-way, at its highest and at the end, with the products the simulator
# sent. Builds nothing: expects build/bin.
#
#   bench/window-load.sh [--minutes N] [--warmup-seconds N] [--samples FILE]   (defaults: 60 minutes, 120 s)
#
# --samples writes one line per sample: seconds since the start, RSS in KiB.
#
# Target: memory must not grow. The station's bounded stores fill first: the statistics window's newest
# 1000 alerts (about 30 alerts a minute with these weights, so full after some 35 minutes), SQLite's page
# cache of 512 KiB (full once the database file is larger, after some 100 minutes at this rate), a batch's
# X̄ points (1000 to 2000 subgroups); so the measure is the second half: RSS at the end within 1 MiB of the
# RSS half-way.
set -euo pipefail
root="$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)"
minutes=60
warmup=120
samples=/dev/null
while [ $# -gt 0 ]; do
    case "$1" in
        --minutes) minutes="$2"; shift 2 ;;
        --warmup-seconds) warmup="$2"; shift 2 ;;
        --samples) samples="$2"; shift 2 ;;
        *) sed -n '8p' "$0" >&2; exit 2 ;;
    esac
done
bin="$root/build/bin"
work=$(mktemp -d /tmp/kelvora-window-load.XXXXXX)
# Entry and exit readings at half of the demo station's product threshold (0.2), below it.
"$bin/kelvora-tool" simulate --count 1000000 --products-per-minute 60 --sd 2.5 --mean 16 --threshold 0.2 \
    > "$work/sim.jsonl" 2>/dev/null &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -s "$work/sim.jsonl" ] && break; sleep 0.05; done
port=$(head -1 "$work/sim.jsonl" | sed 's/.*"path":"\([^"]*\)".*/\1/')
"$bin/kelvora-tool" station init "$work/station" --demo --port "$port" >/dev/null 2>&1
end=$((minutes * 60000 + 2000))
# The model is typed, not chosen from the demo's catalogue: 16 with limits 12 to 20, so that these weights
# raise the alerts above (nearly half of the packages lie below TU2 of a 16 kg nominal).
printf '0 set ComboBox1 admin\n0 set Edit1 123456\n0 click RzBitBtn1\n0 set LabeledEdit1 1000000\n0 set LabeledEdit2 1000000\n500 set ComboBox1 A100\n500 set Et1 16.000\n500 set Et2 20.000\n500 set Et3 12.000\n1000 click BtnClear\n%d click BtnSetTabs\n%d close\n' \
    "$end" "$((end + 500))" > "$work/script.txt"
QT_QPA_PLATFORM=offscreen "$bin/kelvora" --dir "$work/station" --port "$port" --script "$work/script.txt" --trace \
    > "$work/trace.jsonl" 2>/dev/null &
station=$!
ticks=$(getconf CLK_TCK)
cpu() { awk '{print $14 + $15}' "/proc/$station/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$station/status"; }
start=$(date +%s.%N); cpu0=$(cpu); baseline=""; half=""; peak=0; last=0; elapsed=0
: > "$samples"
while kill -0 $station 2>/dev/null && [ -r "/proc/$station/stat" ]; do
    sleep 10; elapsed=$((elapsed + 10))
    kill -0 $station 2>/dev/null || break
    last=$(rss); cpu1=$(cpu); now=$(date +%s.%N)
    echo "$elapsed $last" >> "$samples"
    [ -z "$half" ] && [ $elapsed -ge $((minutes * 30)) ] && half=$last
    if [ $elapsed -ge "$warmup" ]; then
        [ -z "$baseline" ] && baseline=$last
        [ "$last" -gt "$peak" ] && peak=$last
    fi
done
wait $station || true
products=$(grep -c '"ev":"record"' "$work/trace.jsonl" || true)
sent=$(grep -c '"ev":"product"' "$work/sim.jsonl" || true)
share=$(awk -v c="$((cpu1 - cpu0))" -v t="$ticks" -v s="$start" -v e="$now" 'BEGIN {printf "%.2f", 100 * c / t / (e - s)}')
echo "station window, $minutes min at 60 products/min ($sent products sent, $products verdicts): CPU $share % of one core;"
echo "  RSS after ${warmup}s ${baseline:-?} KiB, half-way ${half:-?} KiB, highest ${peak} KiB, at the end ${last} KiB"
[ -n "$half" ] && echo "  second half: $((last - half)) KiB"
rm -rf "$work"
