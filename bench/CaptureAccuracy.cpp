// How well each capture weighs the products of a simulated line.
//
// For every scenario the simulator's stream is turned into a station script, one frame per chunk (the
// frames are at least 16 ms apart, the station's read interval, so the serial component hands each over
// on its own), and replayed offline through the replay host with an Option.ini that chooses the capture.
// Each verdict is matched by time to the product on the platform when its reading was taken (the Yaohua
// decoder reads the frame two chunks back). Prints one markdown table for both captures; exits 1 when the
// stable capture misses one of its targets.
//
// A second table damages the stream (StreamDamage.h: reads cut at every position, garbage between frames,
// bursts of line noise, wrong checksums) and weighs it with the stable capture through the fixed decoders
// and through the checked decoding ([仪表] 解码=完整帧): the checked decoding must show no reading taken
// from a damaged frame and still judge every product once.
#include "app/config/TextCodec.h"
#include "bench/StreamDamage.h"
#include "simulator/IndicatorSimulation.h"
#include "station/ReplayHost.h"
#include "weighing/IndicatorFamilies.h"
#include "weighing/NumberText.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace kelvora;

namespace {

constexpr double kRate = 20.0;
constexpr double kMean = 16.0;
constexpr double kSpread = 1.5;
constexpr double kTenthOutside = 1.645; // a normal weight lies beyond mean +- 1.645 sd one time in ten
constexpr int kProducts = 200;
constexpr double kReadIntervalMs = 16.0;
constexpr double kLeastGapMs = 100.0; // the line's least gap, used when 60 % of the cycle is too short

struct Condition {
    const char* name;
    double noiseD = 0.0;
    double rampMs = 0.0;
    double ringD = 0.0;
};

struct Scenario {
    std::string name;
    SimulationSettings settings;
    double d = 0.01;
    int lag = 0; ///< readings between a frame and the chunk whose decoding shows it
    Condition condition;
};

struct Verdict {
    std::int64_t reading;
    std::string text;
    double weight;
    std::size_t readings; ///< stable capture: how many readings the weight is the mean of
};

// The replay host, noting each verdict with the index of the chunk that led to it.
class MeasuringHost : public ReplayHost {
public:
    using ReplayHost::ReplayHost;
    void recordResult(const std::string& verdict) override {
        ReplayHost::recordResult(verdict);
        verdicts.push_back({summary().chunks - 1, verdict, NumberText::toFloat(text(Control::Edit2)),
                            core().stableCapture().weightReadings()});
    }
    void setText(Control control, const std::string& value) override {
        ReplayHost::setText(control, value);
        if (control == Control::Edit1 && value != "超载" && value != "欠载") {
            shown.push_back({summary().chunks - 1, NumberText::toFloat(value)});
        }
    }
    void badFrame(const std::string& reason) override {
        ReplayHost::badFrame(reason);
        ++badFrames;
    }
    std::vector<Verdict> verdicts;
    std::vector<std::pair<std::int64_t, double>> shown; ///< each reading shown, with its chunk
    std::int64_t badFrames = 0;
};

struct Figures {
    int products = 0, one = 0, none = 0, more = 0;
    double maxError = 0.0, sumError = 0.0;
    int judged = 0;
    int beyondBound = 0; ///< verdicts whose error exceeds errorBound()
    int falseAccepts = 0, farFalseAccepts = 0, falseRejects = 0;
    double meanError() const { return judged == 0 ? 0.0 : sumError / judged; }
};

struct Product {
    std::int64_t firstReading;
    double weight;
};

double roundTo3(double x) {
    return std::round(x * 1000.0) / 1000.0;
}

const double kUpper = roundTo3(kMean + kTenthOutside * kSpread);
const double kLower = roundTo3(kMean - kTenthOutside * kSpread);

// The error target in d: 1 d without noise, 3 sigma / sqrt(n) with it, n the readings the weight stands on
// (the peak capture takes one reading).
double errorBound(const Condition& c, std::size_t readings) {
    return c.noiseD > 0 ? 3.0 * c.noiseD / std::sqrt(static_cast<double>(std::max<std::size_t>(readings, 1))) : 1.0;
}

std::string writeIni(const std::string& path, bool yaohua, bool stable, bool checked = false) {
    std::string text = "[Word]\r\nNum=1000000\r\nTX_Num=1000000\r\nSC_Num=0\r\n";
    text += yaohua ? "[仪表]\r\n1=0\r\n2=1\r\n" : "[仪表]\r\n1=1\r\n2=0\r\n";
    if (checked) {
        text += "解码=完整帧\r\n";
    }
    if (stable) {
        text += "[算法]\r\n取样=稳定\r\n";
    }
    std::ofstream(path, std::ios::binary) << TextCodec::utf8ToGbk(text).value();
    return path;
}

// The stream as a script, and the products with the index of their first reading.
std::string buildScript(const Scenario& scenario, std::vector<Product>& products) {
    IndicatorSimulation simulation(scenario.settings);
    const auto frameNanos = static_cast<std::int64_t>(IndicatorSimulation::frameLength(scenario.settings.indicator)) *
                            simulation.byteNanos();
    if (static_cast<double>(simulation.periodNanos() - frameNanos) <= kReadIntervalMs * 1e6) {
        throw std::runtime_error(scenario.name + ": frames too close for one frame per chunk");
    }
    std::ostringstream script;
    script << "0 select M " << kMean << ' ' << kUpper << ' ' << kLower << "\n400 click BtnClear\n";
    for (std::int64_t i = 0; !simulation.finished(); ++i) {
        const Reading reading = simulation.next();
        if (reading.product) {
            products.push_back({i, reading.product->weight});
        }
        // The chunk is complete once the frame is in and the read interval has passed.
        const std::int64_t t = 1000 + (reading.startNanos + frameNanos) / 1000000 + static_cast<int>(kReadIntervalMs);
        script << t << " chunk " << StationScript::toHex(reading.frame) << '\n';
    }
    return script.str();
}

// The verdicts of each product: those whose reading was taken from its entry until the next product's.
std::vector<std::vector<const Verdict*>> matchVerdicts(const std::vector<Verdict>& verdicts,
                                                       const std::vector<Product>& products, int lag) {
    std::vector<std::vector<const Verdict*>> byProduct(products.size());
    for (const Verdict& verdict : verdicts) {
        const std::int64_t reading = verdict.reading - lag;
        auto after = std::upper_bound(products.begin(), products.end(), reading,
                                      [](std::int64_t r, const Product& p) { return r < p.firstReading; });
        if (after != products.begin()) {
            byProduct[static_cast<std::size_t>(after - products.begin() - 1)].push_back(&verdict);
        }
    }
    return byProduct;
}

Figures measure(const Scenario& scenario, bool stable, const std::string& iniPath) {
    std::vector<Product> products;
    std::istringstream in(buildScript(scenario, products));
    std::ofstream nowhere("/dev/null");
    MeasuringHost host(nowhere);
    host.runtime().load(writeIni(iniPath, scenario.settings.indicator == IndicatorKind::Yaohua, stable));
    StationScript script(in);
    host.run(script);

    const auto byProduct = matchVerdicts(host.verdicts, products, scenario.lag);
    Figures figures;
    const double d = scenario.d;
    for (std::size_t n = 0; n < products.size(); ++n) {
        const double w = products[n].weight;
        const auto& verdicts = byProduct[n];
        ++figures.products;
        ++(verdicts.empty() ? figures.none : verdicts.size() == 1 ? figures.one : figures.more);
        bool good = false;
        bool bad = false;
        for (const Verdict* verdict : verdicts) {
            const double error = std::abs(verdict->weight - w) / d;
            figures.maxError = std::max(figures.maxError, error);
            figures.sumError += error;
            figures.beyondBound += error > errorBound(scenario.condition, stable ? verdict->readings : 1) + 1e-9;
            ++figures.judged;
            (verdict->text == "正常" ? good : bad) = true;
        }
        const double outside = std::max(kLower - w, w - kUpper) / d; // > 0: outside, in d
        figures.falseAccepts += good && outside > 1e-6;
        figures.farFalseAccepts += good && outside >= 2.0 - 1e-6;
        figures.falseRejects += bad && outside <= -2.0 + 1e-6;
    }
    return figures;
}

// The settings of a scenario: 60 % of the cycle on the platform when that holds a plateau of five
// readings, otherwise the line's least gap.
SimulationSettings lineSettings(IndicatorKind indicator, double ppm, const Condition& c, double d, int seed) {
    SimulationSettings s;
    s.indicator = indicator;
    s.rate = kRate;
    s.productsPerMinute = ppm;
    s.mean = kMean;
    s.sd = kSpread;
    s.noise = c.noiseD * d;
    s.rampMs = c.rampMs;
    s.ring = c.ringD * d;
    s.seed = static_cast<std::uint64_t>(seed);
    s.count = kProducts;
    try {
        IndicatorSimulation check(s);
    } catch (const std::invalid_argument&) {
        s.gapMs = kLeastGapMs;
    }
    return s;
}

// The most products a minute the line takes at 20 readings a second with its least gap.
double mostProductsPerMinute(IndicatorKind indicator, const Condition& c, double d) {
    for (double ppm = 300; ppm > 1; --ppm) {
        SimulationSettings s = lineSettings(indicator, ppm, c, d, 1);
        try {
            IndicatorSimulation check(s);
            return ppm;
        } catch (const std::invalid_argument&) {
        }
    }
    return 1;
}

std::string cell(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

std::string row(const Figures& f) {
    return std::to_string(f.one) + " | " + std::to_string(f.none) + " | " + std::to_string(f.more) + " | " +
           cell(f.maxError) + " | " + cell(f.meanError()) + " | " + std::to_string(f.beyondBound) + " | " +
           std::to_string(f.falseAccepts) + " (" + std::to_string(f.farFalseAccepts) + ") | " +
           std::to_string(f.falseRejects);
}

// The stable capture's targets that do not depend on chance; empty when met. (With noise, an error
// beyond 3 sigma / sqrt(n), and a false accept of a product just outside a limit, happen by chance.)
std::string missedTargets(const Figures& f, const Condition& c) {
    std::string missed;
    if (f.one != f.products) {
        missed += " not every product judged once;";
    }
    if (c.noiseD == 0 && (f.maxError > 1.0 + 1e-9 || f.farFalseAccepts > 0)) {
        missed += " an error above 1 d or a false accept 2 d or more outside;";
    }
    return missed;
}

struct DamageFigures {
    int products = 0, one = 0, none = 0, more = 0;
    int wrongReadings = 0; ///< readings shown that no frame of the last three carried
    std::int64_t bad = 0;  ///< frames the checked decoding refused
    double maxError = 0.0; ///< in d
    int falseAccepts = 0;
};

// The damaged stream as a script; chunkFrame gives each chunk's frame, truth each frame's weight.
std::string damagedScript(const Scenario& scenario, Damage damage, std::vector<Product>& products,
                          std::vector<std::int64_t>& chunkFrame, std::vector<double>& truth) {
    IndicatorSimulation simulation(scenario.settings);
    const auto format = IndicatorFamilies::format(IndicatorFrame::id(scenario.settings.indicator));
    const auto frameNanos = static_cast<std::int64_t>(IndicatorSimulation::frameLength(scenario.settings.indicator)) *
                            simulation.byteNanos();
    std::mt19937 random(17);
    std::ostringstream script;
    script << "0 select M " << kMean << ' ' << kUpper << ' ' << kLower << "\n400 click BtnClear\n";
    for (std::int64_t i = 0; !simulation.finished(); ++i) {
        const Reading reading = simulation.next();
        if (reading.product) {
            products.push_back({i, reading.product->weight});
        }
        IndicatorReading value;
        format->read(reading.frame, value);
        truth.push_back(value.value);
        const std::int64_t t = 1000 + (reading.startNanos + frameNanos) / 1000000 + static_cast<int>(kReadIntervalMs);
        const auto reads = damageFrame(reading.frame, i, damage, scenario.settings.indicator, random);
        for (std::size_t r = 0; r < reads.size(); ++r) {
            // A frame in two reads: the first part a little earlier, while the frame is still coming in.
            script << t - 8 * static_cast<std::int64_t>(reads.size() - 1 - r) << " chunk "
                   << StationScript::toHex(reads[r].bytes) << '\n';
            chunkFrame.push_back(i);
        }
    }
    return script.str();
}

DamageFigures measureDamaged(const Scenario& scenario, Damage damage, bool checked, const std::string& iniPath) {
    std::vector<Product> products;
    std::vector<std::int64_t> chunkFrame;
    std::vector<double> truth;
    std::istringstream in(damagedScript(scenario, damage, products, chunkFrame, truth));
    std::ofstream nowhere("/dev/null");
    MeasuringHost host(nowhere);
    host.runtime().load(writeIni(iniPath, scenario.settings.indicator == IndicatorKind::Yaohua, true, checked));
    StationScript script(in);
    host.run(script);

    DamageFigures figures;
    figures.bad = host.badFrames;
    for (const auto& [chunk, value] : host.shown) {
        const std::int64_t frame = chunkFrame[static_cast<std::size_t>(chunk)];
        bool carried = false;
        for (std::int64_t f = std::max<std::int64_t>(0, frame - 2); f <= frame; ++f) {
            carried = carried || std::abs(truth[static_cast<std::size_t>(f)] - value) < 1e-6;
        }
        figures.wrongReadings += !carried;
    }
    std::vector<Verdict> verdicts = host.verdicts;
    for (Verdict& verdict : verdicts) {
        verdict.reading = chunkFrame[static_cast<std::size_t>(verdict.reading)];
    }
    const auto byProduct = matchVerdicts(verdicts, products, 0);
    for (std::size_t n = 0; n < products.size(); ++n) {
        const auto& mine = byProduct[n];
        ++figures.products;
        ++(mine.empty() ? figures.none : mine.size() == 1 ? figures.one : figures.more);
        for (const Verdict* verdict : mine) {
            figures.maxError = std::max(figures.maxError, std::abs(verdict->weight - products[n].weight) / scenario.d);
            const double outside = std::max(kLower - products[n].weight, products[n].weight - kUpper) / scenario.d;
            figures.falseAccepts += verdict->text == "正常" && outside > 1e-6;
        }
    }
    return figures;
}

std::string damageRow(const DamageFigures& f, bool checked) {
    std::string row = std::to_string(f.one) + " | " + std::to_string(f.none) + " | " + std::to_string(f.more) + " | " +
                      std::to_string(f.wrongReadings) + " | ";
    if (checked) {
        row += std::to_string(f.bad) + " | ";
    }
    return row + cell(f.maxError) + " | " + std::to_string(f.falseAccepts);
}

// The damaged streams, both families at 60 products a minute on a level plateau; returns the checked
// decoding's missed targets.
std::string damagedTable(const std::string& iniPath) {
    std::cout << "\nDamaged streams, stable capture, " << kProducts
              << " products at 60/min on a level plateau. Per decoder: products with one verdict | none | more | "
                 "readings shown that no frame carried | (checked: frames refused) | largest |error| in d | false "
                 "accepts.\n\n"
              << "| scenario | fixed: one | none | more | wrong readings | max d | FA "
              << "| checked: one | none | more | wrong readings | refused | max d | FA |\n"
              << "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
    std::string failures;
    int seed = 100;
    for (IndicatorKind indicator : {IndicatorKind::Toledo, IndicatorKind::Yaohua}) {
        const bool toledo = indicator == IndicatorKind::Toledo;
        const double d = toledo ? 0.01 : 0.1;
        const Condition plateau{"plateau"};
        for (Damage damage : {Damage::CutReads, Damage::Garbage, Damage::NoiseBurst, Damage::BadCheck}) {
            const Scenario scenario{std::string(toledo ? "Toledo" : "Yaohua") + ", " + damageName(damage),
                                    lineSettings(indicator, 60.0, plateau, d, seed++), d, 0, plateau};
            const DamageFigures fixed = measureDamaged(scenario, damage, false, iniPath);
            const DamageFigures checked = measureDamaged(scenario, damage, true, iniPath);
            std::cout << "| " << scenario.name << " | " << damageRow(fixed, false) << " | " << damageRow(checked, true)
                      << " |" << std::endl;
            if (checked.wrongReadings != 0 || checked.one != checked.products) {
                failures += scenario.name + ": the checked decoding showed a damaged frame or missed a verdict\n";
            }
        }
    }
    return failures;
}

} // namespace

int main() {
    const std::vector<Condition> conditions = {{"plateau"},
                                               {"noise 1 d", 1.0},
                                               {"noise 3 d", 3.0},
                                               {"ramps 100 ms", 0.0, 100.0},
                                               {"ringing 5 d", 0.0, 0.0, 5.0}};
    const std::string iniPath =
        (std::filesystem::temp_directory_path() / ("kelvora-capture-accuracy-" + std::to_string(getpid()) + ".ini"))
            .string();
    std::cout << "Products " << kProducts << " per scenario, weights " << kMean << " +- " << kSpread
              << " (normal), limits " << kLower << " to " << kUpper << ", " << kRate
              << " readings/s, one frame per chunk.\n"
              << "Per capture: products with exactly one verdict | none | more than one | largest and mean |error| "
                 "in d over all verdicts | verdicts with an error above the target (1 d; with noise sigma, "
                 "3 sigma / sqrt(n) over the n readings judged) | false accepts (of them 2 d or more outside) | false "
                 "rejects (2 d or more "
                 "inside).\n\n"
              << "| scenario | peak: one | none | more | max d | mean d | >target | FA (>=2d) | FR "
                 "| stable: one | none | more | max d | mean d | >target | FA (>=2d) | FR |\n"
              << "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|\n";
    int seed = 1;
    std::string failures;
    for (IndicatorKind indicator : {IndicatorKind::Toledo, IndicatorKind::Yaohua}) {
        const bool toledo = indicator == IndicatorKind::Toledo;
        const double d = toledo ? 0.01 : 0.1;
        for (const Condition& condition : conditions) {
            for (double ppm : {40.0, 100.0, mostProductsPerMinute(indicator, condition, d)}) {
                Scenario scenario{"", lineSettings(indicator, ppm, condition, d, seed++), d, toledo ? 0 : 2, condition};
                const IndicatorSimulation shape(scenario.settings);
                scenario.name = std::string(toledo ? "Toledo" : "Yaohua") + ", " + condition.name + ", " +
                                std::to_string(static_cast<int>(ppm)) + "/min (" +
                                std::to_string(shape.readingsPerProduct()) + " readings on the platform)";
                const Figures peak = measure(scenario, false, iniPath);
                const Figures stable = measure(scenario, true, iniPath);
                std::cout << "| " << scenario.name << " | " << row(peak) << " | " << row(stable) << " |" << std::endl;
                const std::string missed = missedTargets(stable, condition);
                if (!missed.empty()) {
                    failures += scenario.name + ":" + missed + "\n";
                }
            }
        }
    }
    failures += damagedTable(iniPath);
    std::filesystem::remove(iniPath);
    if (!failures.empty()) {
        std::cout << "\nStable capture targets missed:\n" << failures;
        return 1;
    }
    std::cout << "\nStable capture: one verdict for every product; without noise every error within 1 d and no "
                 "false accept.\n";
    return 0;
}
