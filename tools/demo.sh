#!/usr/bin/env bash
# The station's demo: a demo station folder (a prepackage line in kg, the stable capture, the product
# threshold 0.2 kg), the indicator simulator on a pseudo-terminal with 5 kg bags of rice passing (a few
# over, a few under the limits), and the station window on it. Without a display the same line runs
# through the window under Xvfb or on the offscreen platform with a short script, printing each verdict.
# KELVORA_BIN names another build's bin folder (default build/bin).
set -euo pipefail
cd "$(dirname "$(readlink -f "$0")")/.."
BIN=${KELVORA_BIN:-build/bin}
work=$(mktemp -d /tmp/kelvora-demo.XXXXXX)
station="$work/station"

# The model 大米-5kg: nominal 5.000 kg, limits 4.925 (the nominal less T = 1.5 % = 75 g) to 5.150. The
# filler aims at 5.030 kg with a spread of 70 g, so that a few bags in 30 fall outside the limits; the
# indicator (Toledo, d = 0.01 kg) reads with a noise of half a division. The entry and exit readings lie
# at half of the station's product threshold of 0.2 kg, below it, so that each bag is one product.
"$BIN/kelvora-tool" simulate --count 100000 --mean 5.03 --sd 0.07 --noise 0.005 --threshold 0.2 --seed 7 \
    > "$work/simulator.jsonl" 2>"$work/simulator.log" &
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
1000 choose ComboBox1 大米-5kg
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
