#include "quality/NetContentRules.h"

#include <algorithm>
#include <cmath>

namespace kelvora {

namespace {

constexpr double kOnEdge = 1e-6; // grams: a nominal this close to a band edge lies on it

struct Band {
    double upTo;  // grams, upper edge of the band
    double value; // grams, or percent of Qn
    bool percent;
};

// The table of 允许短缺量: 《定量包装商品计量监督管理办法》 (2005) 附表3 and JJF 1070-2005 表3; the same
// bands as 76/211/EEC Annex I 2.4 (to 10 kg) and OIML R 87:2016 table 2 (to 50 kg).
constexpr Band kBands[] = {
    {50, 9, true},     {100, 4.5, false},  {200, 4.5, true},    {300, 9, false},  {500, 3, true},
    {1000, 15, false}, {10000, 1.5, true}, {15000, 150, false}, {50000, 1, true},
};

// Up to the next multiple of `step` grams; the quotient is first rounded to a millionth, so that 4.5 %
// of 200 g (9.000000000000002 in binary) stays 9.0.
double roundUp(double grams, double step) {
    const double steps = std::round(grams / step * 1e6) / 1e6;
    return std::ceil(steps) * step;
}

double lowestNominal(Regime regime) {
    return regime == Regime::Eu ? 5.0 : 0.0;
}

double highestNominal(Regime regime) {
    return regime == Regime::Eu ? 10000.0 : 50000.0;
}

std::string grams(double value) {
    return value >= 1000.0 ? std::to_string(static_cast<int>(value / 1000.0)) + " kg"
                           : std::to_string(static_cast<int>(value)) + " g";
}

} // namespace

std::optional<Regime> parseRegime(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (lower == "中国" || lower == "china")
        return Regime::China;
    if (lower == "欧盟" || lower == "eu")
        return Regime::Eu;
    if (lower == "oiml")
        return Regime::Oiml;
    return std::nullopt;
}

std::string regimeName(Regime regime) {
    switch (regime) {
    case Regime::China:
        return "中国";
    case Regime::Eu:
        return "欧盟";
    case Regime::Oiml:
        return "OIML";
    }
    return {};
}

std::string regimeKey(Regime regime) {
    switch (regime) {
    case Regime::China:
        return "china";
    case Regime::Eu:
        return "eu";
    case Regime::Oiml:
        return "oiml";
    }
    return {};
}

std::optional<double> tolerableShortfall(Regime regime, double nominalGrams) {
    const double lowest = lowestNominal(regime);
    if (!(nominalGrams > lowest - kOnEdge && (lowest > 0.0 || nominalGrams > 0.0) &&
          nominalGrams <= highestNominal(regime) + kOnEdge))
        return std::nullopt;
    for (const Band& band : kBands) {
        if (nominalGrams > band.upTo + kOnEdge)
            continue;
        if (!band.percent)
            return band.value;
        // China rounds the 0.1 g place up to whole grams above 1 kg (附表3 note); the EU and OIML round
        // every percentage up to the next 0.1 g.
        const double step = regime == Regime::China && nominalGrams > 1000.0 + kOnEdge ? 1.0 : 0.1;
        return roundUp(nominalGrams * band.value / 100.0, step);
    }
    return std::nullopt;
}

std::optional<QuantityLimits> quantityLimits(Regime regime, double nominalGrams) {
    const auto t = tolerableShortfall(regime, nominalGrams);
    if (!t)
        return std::nullopt;
    return QuantityLimits{nominalGrams, *t, nominalGrams - *t, nominalGrams - 2.0 * *t};
}

std::string notCoveredReason(Regime regime, double nominalGrams) {
    if (tolerableShortfall(regime, nominalGrams))
        return {};
    const std::string range = lowestNominal(regime) > 0.0
                                  ? grams(lowestNominal(regime)) + "至" + grams(highestNominal(regime))
                                  : "0至" + grams(highestNominal(regime));
    return "标称量不在" + range + "之间（" + regimeName(regime) + "规则）";
}

InspectionPlan inspectionPlan(Regime regime, std::int64_t lotSize) {
    const std::int64_t n = std::max<std::int64_t>(lotSize, 1);
    InspectionPlan plan;
    const auto single = [&](std::int64_t size, double lambda, std::int64_t accept) {
        plan.first = std::min(size, n);
        plan.accept1 = accept;
        plan.reject1 = accept + 1;
        plan.meanTest = lambda > 0.0;
        plan.meanSample = plan.first;
        plan.lambda = lambda;
        plan.wholeLot = plan.first >= n;
    };
    // A lot too small for sampling is inspected whole: its mean at least Qn, at most 2.5 % short by
    // more than T.
    const auto whole = [&] {
        single(n, 0.0, static_cast<std::int64_t>(std::floor(static_cast<double>(n) * kShortShareAllowed)));
        plan.meanTest = true;
    };
    if (regime == Regime::China) {
        // JJF 1070-2005 表2 (《定量包装商品计量监督管理办法》 附表4): λ = t0.995(n − 1)/√n.
        if (n <= 10)
            single(n, 0.0, 0); // every pack, no mean test
        else if (n <= 50)
            single(10, 1.028, 0);
        else if (n <= 99)
            single(13, 0.848, 1);
        else if (n <= 500)
            single(50, 0.379, 3);
        else if (n <= 3200)
            single(80, 0.295, 5);
        else
            single(125, 0.234, 7);
        return plan;
    }
    if (n < 100) {
        whole();
        return plan;
    }
    if (regime == Regime::Oiml) {
        // OIML R 87:2016 table 3 (sampling plans for inspection at the packer).
        if (n <= 500)
            single(50, 0.379, 3);
        else if (n <= 3200)
            single(80, 0.295, 5);
        else
            single(125, 0.234, 7);
        return plan;
    }
    // 76/211/EEC Annex II 2.2.1 (non-destructive double plans) and 2.3 (the mean: 30 packs, λ 0.503, to
    // 500, else 50 packs, λ 0.379).
    struct Double {
        std::int64_t upTo, first, accept1, reject1, accept2;
    };
    static constexpr Double kPlans[] = {{500, 30, 1, 3, 4}, {3200, 50, 2, 5, 6}, {INT64_MAX, 80, 3, 7, 8}};
    for (const Double& d : kPlans) {
        if (n > d.upTo)
            continue;
        plan = {d.first, d.accept1, d.reject1, d.first, d.accept2, true, n <= 500 ? 30 : 50, n <= 500 ? 0.503 : 0.379,
                false};
        break;
    }
    return plan;
}

} // namespace kelvora
