#include "tools/SimulateCommand.h"

#include "tools/CommandArguments.h"
#include "tools/IndicatorSimulation.h"
#include "tools/SimulatorPort.h"
#include "tools/SimulatorSession.h"

#include <iostream>
#include <limits>
#include <stdexcept>

namespace kelvora {

namespace {

constexpr const char* kUsage =
    "usage: kelvora-tool simulate [--port PATH] [--indicator toledo|yaohua] [--baud B] [--rate R]\n"
    "           [--products-per-minute P] [--mean M] [--sd S] [--noise N] [--threshold T] [--seed S]\n"
    "           [--count N]\n";

int checkedInt(long long value, const char* option) {
    if (value < 0 || value > std::numeric_limits<int>::max()) {
        throw std::invalid_argument(std::string(option) + " is out of range");
    }
    return static_cast<int>(value);
}

SimulationSettings settingsFrom(const CommandArguments& arguments) {
    SimulationSettings settings;
    const std::string indicator = arguments.text("indicator", "toledo");
    if (indicator == "toledo") {
        settings.indicator = IndicatorKind::Toledo;
    } else if (indicator == "yaohua") {
        settings.indicator = IndicatorKind::Yaohua;
    } else {
        throw std::invalid_argument("--indicator must be toledo or yaohua, not '" + indicator + "'");
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
    return settings;
}

} // namespace

int runSimulateCommand(int argc, char** argv) {
    SimulationSettings settings;
    std::string portPath;
    try {
        const CommandArguments arguments(argc, argv,
                                         {"port", "indicator", "baud", "rate", "products-per-minute", "mean", "sd",
                                          "noise", "threshold", "seed", "count"});
        settings = settingsFrom(arguments);
        portPath = arguments.text("port", "");
        IndicatorSimulation check(settings);
    } catch (const std::invalid_argument& error) {
        std::cerr << "simulate: " << error.what() << "\n" << kUsage;
        return 2;
    }
    try {
        IndicatorSimulation simulation(settings);
        SimulatorPort port = portPath.empty() ? SimulatorPort::openPseudoTerminal()
                                              : SimulatorPort::openDevice(portPath, settings.baud,
                                                                          settings.indicator == IndicatorKind::Toledo);
        SimulatorSession session(simulation, port, std::cout);
        session.run();
        return 0;
    } catch (const std::runtime_error& error) {
        std::cerr << "simulate: " << error.what() << "\n";
        return 1;
    }
}

} // namespace kelvora
