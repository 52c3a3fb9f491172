#include "quality/LotInspection.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace kelvora {

namespace {

constexpr double kOnLimit = 1e-6; // grams: a weight this close to a limit lies on it
constexpr double kNoBound = -std::numeric_limits<double>::infinity();

// The shift of every weight (grams, the spread unchanged) at which one inspector's draw just passes:
// the draw passes at a shift at least this. `values` are the packs drawn in the order drawn.
struct DrawBound {
    double shift = kNoBound;
    double meanShift = kNoBound;
};

// The (k+1)-th lightest of `values[0, size)` (k counting from 0), or nothing when there are not so many.
double kthLightest(std::vector<double>& scratch, const std::vector<double>& values, std::int64_t size, std::int64_t k) {
    scratch.assign(values.begin(), values.begin() + size);
    std::nth_element(scratch.begin(), scratch.begin() + k, scratch.end());
    return scratch[static_cast<std::size_t>(k)];
}

DrawBound boundOf(const std::vector<double>& values, const InspectionPlan& plan, const QuantityLimits& limits,
                  std::vector<double>& scratch) {
    DrawBound bound;
    const auto drawn = static_cast<std::int64_t>(values.size());
    // No pack drawn short by more than 2T.
    bound.shift = limits.tu2 - kOnLimit - *std::min_element(values.begin(), values.end());
    // The counts of packs short by more than T: a count of at most c holds once the (c+1)-th lightest
    // pack is at TU1.
    const auto countBound = [&](std::int64_t size, std::int64_t allowed) {
        return allowed < size ? limits.tu1 - kOnLimit - kthLightest(scratch, values, size, allowed) : kNoBound;
    };
    double counts = countBound(plan.first, plan.accept1);
    if (plan.second > 0) {
        const double second = std::max(countBound(plan.first, plan.reject1 - 1),
                                       countBound(std::min(drawn, plan.first + plan.second), plan.accept2));
        counts = std::min(counts, second);
    }
    bound.shift = std::max(bound.shift, counts);
    if (plan.meanTest) {
        const auto n = std::min(drawn, plan.meanSample);
        double mean = 0.0, squares = 0.0;
        for (std::int64_t i = 0; i < n; ++i) {
            const double delta = values[static_cast<std::size_t>(i)] - mean;
            mean += delta / static_cast<double>(i + 1);
            squares += delta * (values[static_cast<std::size_t>(i)] - mean);
        }
        const double s = n > 1 ? std::sqrt(squares / static_cast<double>(n - 1)) : 0.0;
        bound.meanShift = limits.nominal - plan.lambda * s - kOnLimit - mean;
        bound.shift = std::max(bound.shift, bound.meanShift);
    }
    return bound;
}

// Draws packs at random without replacement. Positions 0 … N−1 of the packs map to their weights: through
// a table of every pack for a lot of up to kFlatPacks packs, else through the running counts.
class DrawSource {
public:
    static constexpr std::int64_t kFlatPacks = 4'000'000;

    DrawSource(const std::vector<std::pair<double, std::int64_t>>& entries, std::int64_t total)
        : m_entries(entries), m_position(0, total - 1) {
        std::int64_t running = 0;
        for (const auto& entry : entries)
            m_ends.push_back(running += entry.second);
        if (total > kFlatPacks)
            return;
        m_flat.reserve(static_cast<std::size_t>(total));
        for (const auto& [grams, count] : entries)
            m_flat.insert(m_flat.end(), static_cast<std::size_t>(count), grams);
        m_taken.assign(static_cast<std::size_t>(total), 0);
    }

    /// `size` packs in the order drawn (which decides the first sample, the second and the mean's).
    void draw(std::mt19937_64& generator, std::int64_t size, std::vector<double>& values) {
        values.clear();
        m_drawn.clear();
        if (!m_flat.empty()) {
            while (static_cast<std::int64_t>(m_drawn.size()) < size) {
                const auto at = static_cast<std::size_t>(m_position(generator));
                if (m_taken[at])
                    continue; // drawn already: draw again
                m_taken[at] = 1;
                m_drawn.push_back(static_cast<std::int64_t>(at));
                values.push_back(m_flat[at]);
            }
            for (const std::int64_t at : m_drawn)
                m_taken[static_cast<std::size_t>(at)] = 0;
            return;
        }
        // A uniform subset (drawn again where a pack came twice), then a uniform order of it.
        while (static_cast<std::int64_t>(m_drawn.size()) < size) {
            while (static_cast<std::int64_t>(m_drawn.size()) < size)
                m_drawn.push_back(m_position(generator));
            std::sort(m_drawn.begin(), m_drawn.end());
            m_drawn.erase(std::unique(m_drawn.begin(), m_drawn.end()), m_drawn.end());
        }
        std::shuffle(m_drawn.begin(), m_drawn.end(), generator);
        for (const std::int64_t at : m_drawn)
            values.push_back(
                m_entries[static_cast<std::size_t>(std::upper_bound(m_ends.begin(), m_ends.end(), at) - m_ends.begin())]
                    .first);
    }

private:
    const std::vector<std::pair<double, std::int64_t>>& m_entries;
    std::uniform_int_distribution<std::int64_t> m_position;
    std::vector<std::int64_t> m_ends;
    std::vector<double> m_flat;
    std::vector<std::uint8_t> m_taken;
    std::vector<std::int64_t> m_drawn;
};

} // namespace

void LotWeights::add(double grams, std::int64_t count) {
    if (count < 1)
        return;
    m_entries.emplace_back(grams, count);
    m_count += count;
    m_sorted = false;
}

const std::vector<std::pair<double, std::int64_t>>& LotWeights::entries() const {
    if (!m_sorted) {
        std::sort(m_entries.begin(), m_entries.end());
        std::vector<std::pair<double, std::int64_t>> merged;
        for (const auto& entry : m_entries) {
            if (!merged.empty() && merged.back().first == entry.first)
                merged.back().second += entry.second;
            else
                merged.push_back(entry);
        }
        m_entries = std::move(merged);
        m_sorted = true;
    }
    return m_entries;
}

double LotWeights::mean() const {
    double sum = 0.0;
    for (const auto& [grams, count] : entries())
        sum += grams * static_cast<double>(count);
    return m_count ? sum / static_cast<double>(m_count) : 0.0;
}

double LotWeights::standardDeviation() const {
    if (m_count < 2)
        return 0.0;
    const double centre = mean();
    double squares = 0.0;
    for (const auto& [grams, count] : entries())
        squares += (grams - centre) * (grams - centre) * static_cast<double>(count);
    return std::sqrt(squares / static_cast<double>(m_count - 1));
}

std::optional<LotReadiness> lotReadiness(const LotWeights& lot, const QuantityLimits& limits, Regime regime,
                                         std::int64_t draws, std::uint64_t seed) {
    const std::int64_t total = lot.count();
    if (total == 0)
        return std::nullopt;
    LotReadiness result;
    result.plan = inspectionPlan(regime, total);
    const InspectionPlan& plan = result.plan;
    const auto& entries = lot.entries();
    const double mean = lot.mean();
    if (plan.meanTest)
        result.meanMargin = mean - (limits.nominal - plan.lambda * lot.standardDeviation());

    std::vector<double> values, scratch;
    std::vector<DrawBound> bounds;
    if (plan.wholeLot) {
        for (const auto& [grams, count] : entries)
            values.insert(values.end(), static_cast<std::size_t>(count), grams);
        bounds.push_back(boundOf(values, plan, limits, scratch));
        result.exact = true;
    } else {
        draws = std::max<std::int64_t>(draws, 10000);
        bounds.reserve(static_cast<std::size_t>(draws));
        DrawSource source(entries, total);
        std::mt19937_64 generator(seed);
        const std::int64_t size = std::min(total, std::max(plan.first + plan.second, plan.meanSample));
        for (std::int64_t d = 0; d < draws; ++d) {
            source.draw(generator, size, values);
            bounds.push_back(boundOf(values, plan, limits, scratch));
        }
    }
    result.draws = static_cast<std::int64_t>(bounds.size());
    std::int64_t passing = 0, meanPassing = 0;
    std::vector<double> shifts;
    shifts.reserve(bounds.size());
    for (const DrawBound& bound : bounds) {
        passing += bound.shift <= 0.0 ? 1 : 0;
        meanPassing += bound.meanShift <= 0.0 ? 1 : 0;
        shifts.push_back(bound.shift);
    }
    const auto n = static_cast<double>(bounds.size());
    result.passProbability = static_cast<double>(passing) / n;
    result.meanTestProbability = static_cast<double>(meanPassing) / n;
    // The shift at which 99 % of the draws pass: each draw passes at every shift above its own bound.
    const auto at = static_cast<std::size_t>(std::ceil(0.99 * n)) - 1;
    std::nth_element(shifts.begin(), shifts.begin() + static_cast<std::ptrdiff_t>(at), shifts.end());
    result.minSamplingMean = mean + shifts[at];
    // The lot's own rules at a shift: the (k+1)-th lightest pack at TU1 leaves at most k short by more
    // than T, the lightest at TU2 none short by more than 2T.
    const auto allowed = static_cast<std::int64_t>(std::floor(static_cast<double>(total) * kShortShareAllowed));
    std::int64_t seen = 0;
    double kth = entries.back().first;
    for (const auto& [grams, count] : entries) {
        if ((seen += count) > allowed) {
            kth = grams;
            break;
        }
    }
    const double ownRules = std::max(
        {limits.nominal - kOnLimit - mean, limits.tu1 - kOnLimit - kth, limits.tu2 - kOnLimit - entries.front().first});
    const double shift = std::max(shifts[at], ownRules);
    result.minTargetMean = mean + shift;
    result.savingPerPack = -shift;
    return result;
}

} // namespace kelvora
