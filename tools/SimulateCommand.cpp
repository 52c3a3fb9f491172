#include "tools/SimulateCommand.h"

#include "simulator/IndicatorSimulation.h"
#include "simulator/SimulatorPort.h"
#include "simulator/SimulatorSession.h"
#include "tools/CommandArguments.h"

#include <cstdlib>
#include <iostream>
#include <limits>
#include <stdexcept>

namespace kelvora {

namespace {

constexpr const char* kUsage =
    "usage: kelvora-tool simulate [--port PATH] [--indicator FAMILY] [--baud B] [--rate R]\n"
    "           [--products-per-minute P] [--mean M] [--sd S] [--noise N] [--threshold T] [--seed S]\n"
    "           [--count N] [--ramp-ms MS] [--ring AMP] [--gap-ms MS]\n"
    "  Without --port it opens a pseudo-terminal and prints the path the station opens; the stream starts\n"
    "  when the station opens it. Defaults: toledo, 9600 baud, 20 readings/s, 60 products/min, weights\n"
    "  15 +- 1 (kg; Toledo sends 0.01, Yaohua 0.1 steps), noise 0, threshold 10, seed 1, 10 products.\n"
    "  --ramp-ms: entry and exit ramps (0: one reading at half the threshold each); --ring: damped ringing\n"
    "  after the entry (4 Hz, decaying to 1/e in 100 ms); --gap-ms: least empty platform between products\n"
    "  (without it a product stays on the platform for 60 % of its cycle).\n"
    "  FAMILY: toledo (18 bytes with checksum), toledo-nocheck (17 bytes), yaohua (12 bytes),\n"
    "  yaohua-reversed (\"=\" and the display last digit first), ascii-line (ST,GS,+0012.345kg), sics (answers\n"
    "  each \"SI\" request with the latest reading instead of sending of itself).\n";

int checkedInt(long long value, const char* option) {
    if (value < 0 || value > std::numeric_limits<int>::max()) {
        throw std::invalid_argument(std::string(option) + " is out of range");
    }
    return static_cast<int>(value);
}

SimulationSettings settingsFrom(const CommandArguments& arguments) {
    SimulationSettings settings;
    const std::string indicator = arguments.text("indicator", "toledo");
    bool known = false;
    for (IndicatorKind kind : {IndicatorKind::Toledo, IndicatorKind::Yaohua, IndicatorKind::ToledoPlain,
                               IndicatorKind::YaohuaReversed, IndicatorKind::AsciiLine, IndicatorKind::Sics}) {
        if (IndicatorFrame::id(kind) == indicator) {
            settings.indicator = kind;
            known = true;
        }
    }
    if (!known) {
        throw std::invalid_argument("--indicator must be toledo, toledo-nocheck, yaohua, yaohua-reversed, "
                                    "ascii-line or sics, not '" +
                                    indicator + "'");
    }
    settings.baud = checkedInt(arguments.whole("baud", settings.baud), "--baud");
    settings.rate = arguments.number("rate", settings.rate);
    settings.productsPerMinute = arguments.number("products-per-minute", settings.productsPerMinute);
    settings.mean = arguments.number("mean", settings.mean);
    settings.sd = arguments.number("sd", settings.sd);
    settings.noise = arguments.number("noise", settings.noise);
    settings.threshold = arguments.number("threshold", settings.threshold);
    const long long seed = arguments.whole("seed", static_cast<long long>(settings.seed));
    settings.seed = static_cast<std::uint64_t>(seed);
    settings.count = checkedInt(arguments.whole("count", settings.count), "--count");
    settings.rampMs = arguments.number("ramp-ms", settings.rampMs);
    settings.ring = arguments.number("ring", settings.ring);
    if (arguments.has("gap-ms")) {
        settings.gapMs = arguments.number("gap-ms", 0.0);
    }
    return settings;
}

} // namespace

int runSimulateCommand(int argc, char** argv) {
    SimulationSettings settings;
    std::string portPath;
    try {
        const CommandArguments arguments(argc, argv,
                                         {"port", "indicator", "baud", "rate", "products-per-minute", "mean", "sd",
                                          "noise", "threshold", "seed", "count", "ramp-ms", "ring", "gap-ms"});
        settings = settingsFrom(arguments);
        portPath = arguments.text("port", "");
        IndicatorSimulation check(settings);
    } catch (const std::invalid_argument& error) {
        std::cerr << "simulate: " << error.what() << "\n" << kUsage;
        return 2;
    }
    try {
        IndicatorSimulation simulation(settings);
        SimulatorPort port = portPath.empty()
                                 ? SimulatorPort::openPseudoTerminal()
                                 : SimulatorPort::openDevice(portPath, settings.baud,
                                                             settings.indicator == IndicatorKind::Toledo ||
                                                                 settings.indicator == IndicatorKind::ToledoPlain);
        SimulatorSession session(simulation, port, std::cout);
        session.reportReadings(std::getenv("KELVORA_MONOTONIC_TRACE") != nullptr);
        session.run();
        return 0;
    } catch (const std::runtime_error& error) {
        std::cerr << "simulate: " << error.what() << "\n";
        return 1;
    }
}

} // namespace kelvora
