#include "weighing/StableCapture.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace kelvora {

namespace {

// Readings are multiples of d; this keeps a range of exactly the band inside it.
constexpr double kSlack = 1e-6;

// The mean of at least one reading; readings near the largest double (a misread exponent) whose sum
// overflows are summed as shares of the count instead, so the mean stays finite.
double mean(std::vector<double>::const_iterator begin, std::vector<double>::const_iterator end) {
    const auto count = static_cast<double>(end - begin);
    const double sum = std::accumulate(begin, end, 0.0);
    if (std::isfinite(sum)) {
        return sum / count;
    }
    return std::accumulate(begin, end, 0.0, [count](double total, double x) { return total + x / count; });
}

double range(std::vector<double>::const_iterator begin, std::vector<double>::const_iterator end) {
    auto [low, high] = std::minmax_element(begin, end);
    return *high - *low;
}

} // namespace

std::optional<double> StableCapture::add(double x, double d, std::optional<bool> stable) {
    ++m_readings;
    m_stableRun = stable.value_or(true) ? m_stableRun + 1 : 0;
    if (m_judged) {
        return std::nullopt; // the verdict is given; the rest of the product is not looked at
    }
    if (m_samples.size() == kMaxReadings) {
        m_samples.erase(m_samples.begin());
    }
    m_samples.push_back(x);
    dropSpike(d);
    if (m_samples.size() < kSettleReadings || m_readings < m_minimumReadings || m_stableRun < kSettleReadings) {
        return std::nullopt;
    }
    const auto window = m_samples.end() - static_cast<std::ptrdiff_t>(kSettleReadings);
    if (range(window, m_samples.end()) > kSettleBand * d + kSlack * d) {
        return std::nullopt;
    }
    m_judged = true;
    m_weightReadings = kSettleReadings;
    return mean(window, m_samples.end());
}

void StableCapture::dropSpike(double d) {
    const std::size_t n = m_samples.size();
    if (n < 3) {
        return;
    }
    const double before = m_samples[n - 3];
    const double sample = m_samples[n - 2];
    const double after = m_samples[n - 1];
    const double limit = kSpikeDivisions * d + kSlack * d;
    // A ramp passes between its neighbours; a misread lies beyond both on one side.
    const bool far = std::abs(sample - before) > limit && std::abs(sample - after) > limit;
    if (far && (sample > before) == (sample > after)) {
        m_samples.erase(m_samples.end() - 2);
    }
}

std::optional<double> StableCapture::end(double d) {
    std::optional<double> weight;
    m_disturbance = 0;
    if (!m_samples.empty() && !m_judged) {
        if (m_readings < m_minimumReadings) {
            m_disturbance = m_readings;
        } else {
            weight = levelWeight(m_samples, d, &m_weightReadings);
        }
    }
    m_samples.clear();
    m_judged = false;
    m_readings = 0;
    m_stableRun = 0;
    return weight;
}

std::size_t StableCapture::interrupt() {
    if (m_samples.empty() || m_judged) {
        return 0;
    }
    m_judged = true; // what is left of it passes without a verdict
    return m_readings;
}

double StableCapture::levelWeight(const std::vector<double>& samples, double d, std::size_t* readings) {
    const std::size_t length = std::min(kSettleReadings, samples.size());
    const auto stretch = [&](std::size_t first) { return samples.begin() + static_cast<std::ptrdiff_t>(first); };
    std::size_t best = 0;
    double bestRange = range(stretch(0), stretch(length));
    // The latest of the most level stretches: a product settles towards its end, if at all.
    for (std::size_t first = 1; first + length <= samples.size(); ++first) {
        const double r = range(stretch(first), stretch(first + length));
        if (r <= bestRange + kSlack * d) {
            best = first;
            bestRange = r;
        }
    }
    const double centre = mean(stretch(best), stretch(best + length));
    const double band = 2.0 * std::max(bestRange, kSettleBand * d) + kSlack * d;
    std::vector<double> kept;
    for (double x : samples) {
        if (std::abs(x - centre) <= band) {
            kept.push_back(x);
        }
    }
    // The stretch lies within the band of its own mean; should rounding at the largest doubles leave
    // none, the stretch itself is the weight.
    if (kept.empty()) {
        kept.assign(stretch(best), stretch(best + length));
    }
    if (readings != nullptr) {
        *readings = kept.size();
    }
    return mean(kept.begin(), kept.end());
}

} // namespace kelvora
