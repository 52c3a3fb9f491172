#pragma once

#include "quality/AverageQuantity.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

/// The net-content rules a lot is judged by: China's (《定量包装商品计量监督管理办法》 and JJF 1070), the
/// EU's e-mark rules (76/211/EEC) or OIML R 87.
enum class Regime { China, Eu, Oiml };

/// "中国", "欧盟" or "OIML" (as Option.ini writes them), also "china", "eu" and "oiml" in any case;
/// nothing for another text.
std::optional<Regime> parseRegime(std::string_view text);
/// "中国", "欧盟" or "OIML".
std::string regimeName(Regime regime);
/// "china", "eu" or "oiml", as scripts name it.
std::string regimeKey(Regime regime);

/// The tolerable shortfall T (允许短缺量, TNE) for a nominal quantity Qn in grams (or millilitres), the
/// same bands in every regime:
///   0–50 9 % · 50–100 4.5 · 100–200 4.5 % · 200–300 9 · 300–500 3 % · 500–1000 15 · 1000–10000 1.5 % ·
///   10000–15000 150 · 15000–50000 1 %,
/// China and OIML to 50 kg, the EU from 5 g to 10 kg. A percentage is rounded up to the next 0.1 g, in
/// China above 1 kg to the next whole gram. Nothing where the regime's table does not reach.
std::optional<double> tolerableShortfall(Regime regime, double nominalGrams);
/// Qn, T, TU1 = Qn − T and TU2 = Qn − 2T; nothing where the regime's table does not reach.
std::optional<QuantityLimits> quantityLimits(Regime regime, double nominalGrams);
/// Why a nominal has no limits, for the operator ("标称量不在5 g至10 kg之间（欧盟规则）"); empty when
/// the regime covers it.
std::string notCoveredReason(Regime regime, double nominalGrams);

/// An inspector's sampling plan for a lot of N packs: a first sample of `first` packs, accepted with at
/// most `accept1` packs short by more than T and rejected with `reject1` or more; between the two a
/// second sample of `second` packs, the lot accepted with at most `accept2` short by more than T in
/// both together. A single plan has no second sample (reject1 = accept1 + 1). With `meanTest` the mean
/// of the first `meanSample` packs drawn must be at least Qn − λ·s (s their standard deviation). No pack
/// drawn may be short by more than 2T. `wholeLot`: every pack is inspected.
struct InspectionPlan {
    std::int64_t first = 0;
    std::int64_t accept1 = 0;
    std::int64_t reject1 = 1;
    std::int64_t second = 0;
    std::int64_t accept2 = 0;
    bool meanTest = false;
    std::int64_t meanSample = 0;
    double lambda = 0.0;
    bool wholeLot = false;
};

/// The plan of the regime for a lot of `lotSize` packs (at least 1): China's JJF 1070 table, the EU's
/// reference double plans and mean test, OIML R 87's plans (lots below 100 inspected whole).
InspectionPlan inspectionPlan(Regime regime, std::int64_t lotSize);

/// The share of packs short by more than T that a lot weighed whole (a 100 % check on the line) may
/// hold: 2.5 % in every regime, the share the sampling plans are built to accept.
constexpr double kShortShareAllowed = 0.025;

} // namespace kelvora
