// Decoding + capture per indicator frame, and a whole day of indicator output replayed.
#include "station/ReplayHost.h"
#include "weighing/WeighingCore.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

using namespace kelvora;

namespace {

// A host that does nothing, so that only the core is measured.
class NullHost : public StationHost {
public:
    std::string text(Control control) const override { return texts[static_cast<std::size_t>(control)]; }
    void setText(Control control, const std::string& text) override { texts[static_cast<std::size_t>(control)] = text; }
    void setLampColor(Lamp, LampColor) override {}
    void setButtonEnabled(Button, bool) override {}
    void setTimerEnabled(Timer, bool) override {}
    void setTimerInterval(Timer, int) override {}
    std::int64_t clock() const override { return 0; }
    void wakeAt(std::optional<std::int64_t>) override {}
    bool writeData(const std::uint8_t*, std::uint16_t) override { return true; }
    void openPort() override {}
    void closePort() override {}
    void showMessage(const std::string&, const std::string&) override {}
    void recordResult(const std::string&) override {}
    void productOver() override {}
    void saveProductCount(std::int32_t) override {}
    void glitch(std::size_t) override {}
    void indicatorSilent(bool) override {}
    void zeroed(double, double) override {}

    std::string texts[9] = {"None", "None", "", "15.000", "20.000", "12.000", "A", "1000000", "999999"};
};

// A product passing every 20 readings: rise, plateau with noise, fall, empty platform.
std::vector<double> productCurve(std::size_t readings) {
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 0.02);
    const double shape[20] = {0, 3, 12.2, 14.9, 15.3, 15.38, 15.42, 15.3, 15.2, 14, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<double> curve;
    for (std::size_t i = 0; i < readings; ++i) {
        double kg = shape[i % 20];
        curve.push_back(kg > 0 ? kg + noise(random) : 0.0);
    }
    return curve;
}

std::string toledoFrame(double kg) {
    char frame[19];
    std::snprintf(frame, sizeof frame, "\x02$0 %06d000000\r", static_cast<int>(kg * 100 + 0.5));
    return frame;
}

std::string yaohuaFrame(double kg) {
    char frame[13];
    std::snprintf(frame, sizeof frame, "\x02+%06d1", static_cast<int>(kg * 10 + 0.5));
    return std::string(frame) + "00\x03";
}

void decodeAndCapture(benchmark::State& state, int indicator, std::string (*makeFrame)(double)) {
    std::vector<std::string> frames;
    for (double kg : productCurve(20000)) {
        frames.push_back(makeFrame(kg));
    }
    NullHost host;
    WeighingCore core(host);
    core.state().IndicatorType = indicator;
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& frame = frames[i++ % frames.size()];
        core.Comm1ReceiveData(reinterpret_cast<const std::uint8_t*>(frame.data()),
                              static_cast<std::uint16_t>(frame.size()));
    }
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_ToledoFrame(benchmark::State& state) {
    decodeAndCapture(state, 1, toledoFrame);
}
void BM_YaohuaFrame(benchmark::State& state) {
    decodeAndCapture(state, 2, yaohuaFrame);
}

// 24 hours at 53 Toledo frames a second, one frame a chunk: about 4.6 million lines.
std::string writeDayScript() {
    std::string path = (std::filesystem::temp_directory_path() / "kelvora-bench-day.txt").string();
    std::ofstream out(path, std::ios::binary);
    out << "0 select A 15.3 15.6 15.0\n0 set LabeledEdit1 100000\n0 set LabeledEdit2 90000\n0 click BtnClear\n";
    std::vector<double> curve = productCurve(4000);
    const std::int64_t frames = 24LL * 3600 * 53;
    for (std::int64_t n = 0; n < frames; ++n) {
        std::string frame = toledoFrame(curve[static_cast<std::size_t>(n) % curve.size()]);
        out << (n * 1000 / 53) << " chunk " << StationScript::toHex(frame) << '\n';
    }
    return path;
}

void BM_ReplayDay(benchmark::State& state) {
    const std::string path = writeDayScript();
    for (auto _ : state) {
        std::ofstream devNull("/dev/null");
        ReplayHost host(devNull);
        host.runtime().load("");
        std::ifstream script(path, std::ios::binary);
        StationScript reader(script);
        host.run(reader);
        state.counters["chunks"] = static_cast<double>(host.summary().chunks);
        state.counters["counted"] = static_cast<double>(host.core().state().ProductCount);
    }
    std::filesystem::remove(path);
}

} // namespace

BENCHMARK(BM_ToledoFrame);
BENCHMARK(BM_YaohuaFrame);
BENCHMARK(BM_ReplayDay)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
