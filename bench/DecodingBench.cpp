// The checked decoding ([仪表] 解码=完整帧): frames per second on one core, through the whole core (shown
// and captured) and through the frame assembler alone, per family; and 识别仪表's time on one port (the
// simulator on a pseudo-terminal, found at the first setting tried).
#include "simulator/IndicatorFrame.h"
#include "simulator/IndicatorSimulation.h"
#include "simulator/SimulatorPort.h"
#include "simulator/SimulatorSession.h"
#include "station/IndicatorDetector.h"
#include "station/SerialLineListener.h"
#include "weighing/FrameAssembler.h"
#include "weighing/IndicatorFamilies.h"
#include "weighing/WeighingCore.h"

#include <chrono>
#include <random>
#include <sstream>
#include <string>
#include <thread>
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

constexpr IndicatorKind kKinds[] = {IndicatorKind::Toledo,         IndicatorKind::ToledoPlain, IndicatorKind::Yaohua,
                                    IndicatorKind::YaohuaReversed, IndicatorKind::AsciiLine,   IndicatorKind::Sics};

// A product passing every 20 readings: rise, plateau with noise, fall, empty platform.
std::vector<std::string> productFrames(IndicatorKind kind, std::size_t readings) {
    std::mt19937 random(1);
    std::normal_distribution<double> noise(0.0, 0.02);
    const double shape[20] = {0, 3, 12.2, 14.9, 15.3, 15.38, 15.42, 15.3, 15.2, 14, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::vector<std::string> frames;
    for (std::size_t i = 0; i < readings; ++i) {
        const double kg = shape[i % 20];
        frames.push_back(IndicatorFrame::make(kind, kg > 0 ? kg + noise(random) : 0.0, i % 20 < 4));
    }
    return frames;
}

// One frame a chunk through the core, as the fixed decoders' bench-weighing measures them.
void BM_CheckedFrameThroughTheCore(benchmark::State& state) {
    const auto kind = kKinds[state.range(0)];
    const std::vector<std::string> frames = productFrames(kind, 20000);
    NullHost host;
    WeighingCore core(host);
    core.state().SamplingChoice = Sampling::Stable;
    core.state().ProductThreshold = 10.0;
    core.state().IndicatorFormat = IndicatorFamilies::format(IndicatorFrame::id(kind));
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& frame = frames[i++ % frames.size()];
        core.Comm1ReceiveData(reinterpret_cast<const std::uint8_t*>(frame.data()),
                              static_cast<std::uint16_t>(frame.size()));
    }
    state.SetLabel(std::string(IndicatorFrame::id(kind)));
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CheckedFrameThroughTheCore)->DenseRange(0, 5);

// The assembler and the format's checks alone, on reads of 128 bytes cutting frames anywhere.
void BM_CheckedFramesInReads(benchmark::State& state) {
    const auto kind = kKinds[state.range(0)];
    std::string stream;
    for (const std::string& frame : productFrames(kind, 20000)) {
        stream += frame;
    }
    struct Count : FrameSink {
        void reading(const IndicatorReading& r) override { sum += r.value; }
        void badFrame(std::string_view) override { ++bad; }
        double sum = 0;
        long bad = 0;
    } sink;
    FrameAssembler assembler(IndicatorFamilies::format(IndicatorFrame::id(kind)));
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += 128) {
            assembler.feed(std::string_view(stream).substr(at, 128), sink);
        }
        benchmark::DoNotOptimize(sink.sum);
    }
    state.SetLabel(std::string(IndicatorFrame::id(kind)));
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * 20000.0, benchmark::Counter::kIsRate);
    state.counters["bad"] = static_cast<double>(sink.bad);
}
BENCHMARK(BM_CheckedFramesInReads)->DenseRange(0, 5);

// 识别仪表 on one port: the simulator (20 readings a second) on a pseudo-terminal, found at the first
// setting tried. Each further setting tried costs its whole window (2 s) when the indicator is not heard.
void BM_DetectionOnOnePort(benchmark::State& state) {
    const auto kind = kKinds[state.range(0)];
    for (auto _ : state) {
        state.PauseTiming();
        SimulationSettings settings;
        settings.indicator = kind;
        settings.count = 0;
        settings.leadSeconds = 0.3;
        settings.tailSeconds = 1.2;
        IndicatorSimulation simulation(settings);
        SimulatorPort port = SimulatorPort::openPseudoTerminal();
        std::ostringstream events;
        SimulatorSession session(simulation, port, events);
        std::thread indicator([&] { session.run(); });
        SerialLineListener listener(port.stationPath());
        state.ResumeTiming();
        const auto found =
            IndicatorDetector(IndicatorDetector::knownFormats()).detect(listener, IndicatorDetector::lineChoices(9600));
        state.PauseTiming();
        listener.cancel();
        indicator.join();
        if (!found || found->family != IndicatorFrame::id(kind)) {
            state.SkipWithError("not found");
        }
        state.ResumeTiming();
    }
    state.SetLabel(std::string(IndicatorFrame::id(kind)));
}
BENCHMARK(BM_DetectionOnOnePort)->DenseRange(0, 4)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
