#!/usr/bin/env bash
# The station's demo: a demo station folder, the indicator simulator on a pseudo-terminal with products
# passing (some over, some under the limits), and the station window on it. Without a display the same
# line runs through the window on the offscreen platform with a short script, printing each verdict.
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."
BIN=build/bin
work=$(mktemp -d /tmp/kelvora-demo.XXXXXX)
station="$work/station"

# Model A100 weighs 16 with limits 12 to 20: weights of 16 +- 2.5 fall outside now and then.
"$BIN/kelvora-tool" simulate --count 100000 --mean 16 --sd 2.5 --seed 7 > "$work/simulator.jsonl" 2>"$work/simulator.log" &
simulator=$!
trap 'kill "$simulator" 2>/dev/null || true; wait "$simulator" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
    [ -s "$work/simulator.jsonl" ] && break
    sleep 0.05
done
port=$(head -1 "$work/simulator.jsonl" | sed 's/.*"path":"\([^"]*\)".*/\1/')
"$BIN/kelvora-tool" station init "$station" --demo --port "$port"

echo "Log in as admin with the password 123456."
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "The station runs in $station on the simulator's line $port; close its window to end the demo."
    "$BIN/kelvora" --dir "$station"
    exit 0
fi

echo "No display: the station runs under Xvfb (or offscreen) for 30 s of products, driven by a script."
cat > "$work/demo-script.txt" <<'SCRIPT'
# Log in, choose a model, start, open the statistics, 30 s of products, stop, close (the exit confirmation
# is answered with OK).
100 set ComboBox1 admin
100 set Edit1 123456
100 click RzBitBtn1
500 set LabeledEdit1 25
500 set LabeledEdit2 20
1000 choose ComboBox1 A100
2000 click BtnClear
2500 click BtnStatistics
32000 click BtnSetTabs
33000 close
SCRIPT
export KELVORA_SCREENSHOT="$work/station-window.png"
# Under Xvfb the window is maximised on a screen of its own; the offscreen platform does without one.
run_station=(env QT_QPA_PLATFORM=offscreen)
if command -v xvfb-run >/dev/null && command -v xauth >/dev/null; then
    run_station=(xvfb-run -a -s "-screen 0 1600x1000x24" env QT_QPA_PLATFORM=xcb)
fi
"${run_station[@]}" "$BIN/kelvora" --dir "$station" --port "$port" --script "$work/demo-script.txt" --trace 2>"$work/station.log" |
    tee "$work/trace.jsonl" |
    sed -un 's/^{"t":\([0-9]*\),"ev":"record","verdict":"\([^"]*\)","model":"\([^"]*\)","weight":"\([^"]*\)".*/  \1 ms  \3  \4 kg  \2/p'
echo "Summary:"
for verdict in 正常 超高 超低; do
    printf '  %s  %s\n' "$verdict" "$(grep -c "\"ev\":\"record\",\"verdict\":\"$verdict\"" "$work/trace.jsonl" || true)"
done
printf '  frames sent  %s\n' "$(grep -c '"ev":"frame".*"sent":true' "$work/trace.jsonl" || true)"
echo "Trace: $work/trace.jsonl   screenshots: $KELVORA_SCREENSHOT, ${KELVORA_SCREENSHOT%.png}-StatisticsWindow.png"
echo "Station folder: $station"
