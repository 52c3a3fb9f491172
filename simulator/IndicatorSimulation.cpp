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
    require(settings.leadSeconds >= 0 && settings.tailSeconds >= 0, "the empty-platform times must not be negative");

    m_byteNanos = std::llround(kBitsPerCharacter * kNanosPerSecond / settings.baud);
    const std::int64_t frameNanos = m_byteNanos * static_cast<std::int64_t>(frameLength(settings.indicator));
    m_periodNanos = std::max(frameNanos, static_cast<std::int64_t>(std::llround(kNanosPerSecond / settings.rate)));

    const double cycleNanos = 60.0 * kNanosPerSecond / settings.productsPerMinute;
    m_readingsPerCycle = cycleNanos / static_cast<double>(m_periodNanos);
    m_onPlatform = static_cast<int>(std::floor(m_readingsPerCycle * kOnPlatformShare + 1e-9));
    require(m_onPlatform - 2 >= kMinimumPlateau,
            "each product needs at least " + std::to_string(kMinimumPlateau + 2) +
                " readings on the platform (it stays for 60 % of its cycle): raise --rate or --baud, or lower "
                "--products-per-minute");

    m_leadReadings = std::llround(settings.leadSeconds * kNanosPerSecond / static_cast<double>(m_periodNanos));
    const std::int64_t tailReadings =
        std::llround(settings.tailSeconds * kNanosPerSecond / static_cast<double>(m_periodNanos));
    m_totalReadings = settings.count == 0 ? m_leadReadings + tailReadings
                                          : productStartIndex(settings.count) + m_onPlatform + tailReadings;
}

std::size_t IndicatorSimulation::frameLength(IndicatorKind indicator) {
    return indicator == IndicatorKind::Toledo ? IndicatorFrame::kToledoLength : IndicatorFrame::kYaohuaLength;
}

std::int64_t IndicatorSimulation::productStartIndex(int n) const {
    return m_leadReadings + static_cast<std::int64_t>(std::floor((n - 1) * m_readingsPerCycle));
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
    const double edge = roundToResolution(m_settings.threshold / 2);
    if (offset == 0 || offset == m_onPlatform - 1) {
        reading.frame = frameFor(edge, true);
    } else if (offset > 0 && offset < m_onPlatform - 1) {
        reading.frame = frameFor(roundToResolution(m_productWeight + m_settings.noise * normal()), false);
    } else {
        reading.frame = frameFor(0.0, false);
    }
    ++m_index;
    return reading;
}

std::string IndicatorSimulation::frameFor(double weight, bool motion) const {
    return m_settings.indicator == IndicatorKind::Toledo ? IndicatorFrame::toledo(weight, motion)
                                                         : IndicatorFrame::yaohua(weight);
}

double IndicatorSimulation::roundToResolution(double weight) const {
    const double step = m_settings.indicator == IndicatorKind::Toledo ? IndicatorFrame::kToledoResolution
                                                                      : IndicatorFrame::kYaohuaResolution;
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
