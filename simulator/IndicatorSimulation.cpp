#include "simulator/IndicatorSimulation.h"

#include "simulator/IndicatorFrame.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace kelvora {

namespace {

constexpr double kNanosPerSecond = 1e9;
constexpr double kOnPlatformShare = 0.6;

void require(bool condition, const std::string& message) {
    if (!condition) {
        throw std::invalid_argument(message);
    }
}

} // namespace

IndicatorSimulation::IndicatorSimulation(const SimulationSettings& settings)
    : m_settings(settings), m_random(settings.seed) {
    require(settings.baud >= 50 && settings.baud <= 4000000, "--baud must lie between 50 and 4000000");
    require(settings.rate > 0 && std::isfinite(settings.rate), "--rate must be a positive number");
    require(settings.productsPerMinute > 0 && std::isfinite(settings.productsPerMinute),
            "--products-per-minute must be a positive number");
    require(std::isfinite(settings.mean), "--mean must be a number");
    require(settings.sd >= 0 && std::isfinite(settings.sd), "--sd must not be negative");
    require(settings.noise >= 0 && std::isfinite(settings.noise), "--noise must not be negative");
    require(std::isfinite(settings.threshold), "--threshold must be a number");
    require(settings.count >= 0, "--count must not be negative");
    require(settings.rampMs >= 0 && std::isfinite(settings.rampMs), "--ramp-ms must not be negative");
    require(settings.ring >= 0 && std::isfinite(settings.ring), "--ring must not be negative");
    require(!settings.gapMs || (*settings.gapMs >= 0 && std::isfinite(*settings.gapMs)),
            "--gap-ms must not be negative");
    require(settings.leadSeconds >= 0 && settings.tailSeconds >= 0, "the empty-platform times must not be negative");

    m_byteNanos = std::llround(kBitsPerCharacter * kNanosPerSecond / settings.baud);
    const std::int64_t frameNanos = m_byteNanos * static_cast<std::int64_t>(frameLength(settings.indicator));
    m_periodNanos = std::max(frameNanos, static_cast<std::int64_t>(std::llround(kNanosPerSecond / settings.rate)));

    const double cycleNanos = 60.0 * kNanosPerSecond / settings.productsPerMinute;
    m_readingsPerCycle = cycleNanos / static_cast<double>(m_periodNanos);
    if (settings.gapMs) {
        // At least one empty reading, so that the station always sees the product leave.
        const auto gapReadings = std::max<std::int64_t>(
            1, static_cast<std::int64_t>(std::ceil(*settings.gapMs * 1e6 / static_cast<double>(m_periodNanos) - 1e-9)));
        m_onPlatform = static_cast<int>(std::floor(m_readingsPerCycle + 1e-9) - static_cast<double>(gapReadings));
    } else {
        m_onPlatform = static_cast<int>(std::floor(m_readingsPerCycle * kOnPlatformShare + 1e-9));
    }
    findPlateau();
    require(plateauReadings() >= kMinimumPlateau,
            "each product needs at least " + std::to_string(kMinimumPlateau) +
                " readings at its full weight on the platform: raise --rate or --baud, or lower "
                "--products-per-minute, --ramp-ms or --gap-ms");

    m_leadReadings = std::llround(settings.leadSeconds * kNanosPerSecond / static_cast<double>(m_periodNanos));
    const std::int64_t tailReadings =
        std::llround(settings.tailSeconds * kNanosPerSecond / static_cast<double>(m_periodNanos));
    m_totalReadings = settings.count == 0 ? m_leadReadings + tailReadings
                                          : productStartIndex(settings.count) + m_onPlatform + tailReadings;
}

std::size_t IndicatorSimulation::frameLength(IndicatorKind indicator) {
    return IndicatorFrame::length(indicator);
}

std::int64_t IndicatorSimulation::productStartIndex(int n) const {
    return m_leadReadings + static_cast<std::int64_t>(std::floor((n - 1) * m_readingsPerCycle));
}

void IndicatorSimulation::findPlateau() {
    m_plateauBegin = m_onPlatform;
    m_plateauEnd = m_onPlatform;
    for (int k = 0; k < m_onPlatform; ++k) {
        bool motion = false;
        profile(k, motion);
        if (!motion) {
            m_plateauBegin = std::min(m_plateauBegin, k);
            m_plateauEnd = k + 1;
        }
    }
    if (m_plateauBegin == m_onPlatform) {
        m_plateauBegin = m_plateauEnd = 0;
    }
}

double IndicatorSimulation::profile(std::int64_t k, bool& motion) const {
    if (m_settings.rampMs <= 0) {
        motion = k == 0 || k == m_onPlatform - 1;
        return motion ? m_settings.threshold / 2 : m_productWeight;
    }
    const double period = static_cast<double>(m_periodNanos);
    const double t = (static_cast<double>(k) + 0.5) * period;
    const double onPlatform = m_onPlatform * period;
    const double ramp = m_settings.rampMs * 1e6;
    const double share = std::min({1.0, t / ramp, (onPlatform - t) / ramp});
    motion = share < 1.0;
    return m_productWeight * share;
}

double IndicatorSimulation::ringing(std::int64_t k) const {
    const double s = static_cast<double>(k - m_plateauBegin) * static_cast<double>(m_periodNanos) / kNanosPerSecond;
    return m_settings.ring * std::exp(-s / kRingDecaySeconds) * std::cos(2.0 * std::numbers::pi * kRingHertz * s);
}

Reading IndicatorSimulation::next() {
    Reading reading;
    reading.startNanos = m_index * m_periodNanos;
    if (m_nextProduct <= m_settings.count && m_index == productStartIndex(m_nextProduct)) {
        m_productStart = m_index;
        m_productWeight = roundToResolution(m_settings.mean + m_settings.sd * normal());
        reading.product = ProductStart{m_nextProduct, m_productWeight};
        ++m_nextProduct;
    }
    const std::int64_t offset = m_productStart < 0 ? -1 : m_index - m_productStart;
    double weight = 0.0;
    bool motion = false;
    if (offset >= 0 && offset < m_onPlatform) {
        weight = profile(offset, motion);
    }
    if (offset >= m_plateauBegin && offset < m_plateauEnd) {
        // Plateau readings always draw their noise, so that a noise-free stream keeps its weights.
        weight += ringing(offset) + m_settings.noise * normal();
    } else if (m_settings.noise > 0) {
        weight += m_settings.noise * normal();
    }
    reading.frame = frameFor(roundToResolution(weight), motion);
    ++m_index;
    return reading;
}

std::string IndicatorSimulation::frameFor(double weight, bool motion) const {
    return IndicatorFrame::make(m_settings.indicator, weight, motion);
}

double IndicatorSimulation::roundToResolution(double weight) const {
    const double step = IndicatorFrame::resolution(m_settings.indicator);
    return std::round(weight / step) * step;
}

double IndicatorSimulation::uniform() {
    // 53 random bits in (0, 1]: never 0, so the logarithm below stays finite.
    return (static_cast<double>(m_random() >> 11) + 1.0) * 0x1.0p-53;
}

double IndicatorSimulation::normal() {
    if (m_spareNormal) {
        const double value = *m_spareNormal;
        m_spareNormal.reset();
        return value;
    }
    // Box-Muller: the library's normal distribution is not the same on every standard library.
    const double radius = std::sqrt(-2.0 * std::log(uniform()));
    const double angle = 2.0 * std::numbers::pi * uniform();
    m_spareNormal = radius * std::sin(angle);
    return radius * std::cos(angle);
}

} // namespace kelvora
