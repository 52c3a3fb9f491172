// Would a lot pass an official check: the chance and the lowest filler target for a lot of 100 000 packs
// (target: under 200 ms), from the weights as the live window holds them and from a fresh lot.
#include "quality/LotInspection.h"

#include <cmath>
#include <random>

#include <benchmark/benchmark.h>

namespace kelvora {
namespace {

// 100 000 packs of 500 g weighed on a 0.1 g division around 503 g, σ 3 g.
LotWeights lotOf100k() {
    std::mt19937_64 generator(3);
    std::normal_distribution<double> weight(503.0, 3.0);
    LotWeights lot;
    for (int i = 0; i < 100'000; ++i)
        lot.add(std::round(weight(generator) * 10.0) / 10.0);
    return lot;
}

const QuantityLimits k500g = *quantityLimits(Regime::China, 500);

// The figures of a lot already held (its weights merged), as the window redraws them.
void BM_PassProbabilityLotOf100k(benchmark::State& state) {
    const LotWeights lot = lotOf100k();
    lot.entries();
    double chance = 0.0;
    for (auto _ : state)
        chance = lotReadiness(lot, k500g, static_cast<Regime>(state.range(0)))->passProbability;
    state.counters["pass_probability"] = chance;
}
BENCHMARK(BM_PassProbabilityLotOf100k)
    ->Arg(static_cast<int>(Regime::China))
    ->Arg(static_cast<int>(Regime::Eu))
    ->Unit(benchmark::kMillisecond);

// The same from the 100 000 weights one by one, as a report gathers a lot.
void BM_PassProbabilityFromWeights(benchmark::State& state) {
    std::mt19937_64 generator(3);
    std::normal_distribution<double> weight(503.0, 3.0);
    std::vector<double> weights(100'000);
    for (double& w : weights)
        w = std::round(weight(generator) * 10.0) / 10.0;
    for (auto _ : state) {
        LotWeights lot;
        for (double w : weights)
            lot.add(w);
        benchmark::DoNotOptimize(lotReadiness(lot, k500g, Regime::China)->minTargetMean);
    }
}
BENCHMARK(BM_PassProbabilityFromWeights)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kelvora

BENCHMARK_MAIN();
