#pragma once

#include "simulator/IndicatorFrame.h"

#include <cstdint>
#include <optional>
#include <random>
#include <string>

namespace kelvora {

struct SimulationSettings {
    IndicatorKind indicator = IndicatorKind::Toledo;
    int baud = 9600;
    double rate = 20.0; ///< readings per second; the line caps it at back-to-back frames
    double productsPerMinute = 60.0;
    double mean = 15.0; ///< product weight, in the indicator's unit
    double sd = 1.0;
    double noise = 0.0;      ///< standard deviation added to every reading, the empty platform's included
    double threshold = 10.0; ///< the station's product threshold: without ramps, entry and exit lie at half of it
    double rampMs = 0.0;     ///< entry and exit ramp time; 0: one entry and one exit reading at half the threshold
    double ring = 0.0;       ///< amplitude of the damped ringing that follows the entry, in the indicator's unit
    /// The least empty-platform time between one product leaving and the next entering; without it the
    /// product stays on the platform for 60 % of its cycle.
    std::optional<double> gapMs;
    std::uint64_t seed = 1;
    int count = 10;           ///< products to pass
    double leadSeconds = 1.0; ///< empty platform before the first product
    double tailSeconds = 3.0; ///< empty platform after the last product
};

/// A product entering the platform with this reading.
struct ProductStart {
    int n = 0;           ///< 1-based
    double weight = 0.0; ///< the weight the indicator shows for it, rounded to the indicator's resolution
};

/// One reading: the frame the indicator sends, and when the frame's first byte starts on the line.
struct Reading {
    std::int64_t startNanos = 0; ///< from the start of the stream
    std::string frame;
    std::optional<ProductStart> product;
};

/// The indicator's readings as products pass: pure and deterministic for given settings (its own
/// normal variates from a 64-bit Mersenne twister, so the stream is the same on every platform).
///
/// Each product cycle lasts 60 / productsPerMinute seconds; the product is on the platform for the first
/// 60 % of its readings (or, with a gap, for all readings of the cycle but the gap's), then the platform is
/// empty (zero) for the rest of the cycle. Without ramps the first reading on the platform is an entry
/// reading at half the threshold and the last an exit reading at half the threshold (both in motion);
/// the readings between are the plateau at the product's weight. With a ramp time R the weight is a
/// trapezoid over the time D on the platform: it rises linearly over [0, R], holds, and falls over
/// [D - R, D]; each reading samples it in the middle of its period, and readings on the ramps are in
/// motion. The plateau must hold at least five readings, the fewest the station's capture works with.
///
/// Ringing: plateau readings carry ring * exp(-s / 100 ms) * cos(2 pi * 4 Hz * s), s the time since the
/// first plateau reading: the platform overshoots by the amplitude and the swing falls to 1/e within
/// 100 ms, below 5 % of it within 300 ms. Noise, a normal variate of the given deviation, is added to
/// every reading last; every reading is then rounded to the indicator's resolution.
class IndicatorSimulation {
public:
    static constexpr int kMinimumPlateau = 5;
    static constexpr double kRingHertz = 4.0;
    static constexpr double kRingDecaySeconds = 0.1;

    /// Throws std::invalid_argument with a message naming the option when the settings cannot work.
    explicit IndicatorSimulation(const SimulationSettings& settings);

    /// Line time of one character in bit times: Toledo 7E1 and Yaohua 8N1 both take a start bit, eight
    /// data-or-parity bits and a stop bit.
    static constexpr int kBitsPerCharacter = 10;
    static std::size_t frameLength(IndicatorKind indicator);

    IndicatorKind indicator() const { return m_settings.indicator; }
    std::int64_t byteNanos() const { return m_byteNanos; }
    /// Time between the starts of two readings: 1 / rate, but never less than a whole frame on the line.
    std::int64_t periodNanos() const { return m_periodNanos; }
    int readingsPerProduct() const { return m_onPlatform; }
    /// Readings at the product's full weight (ringing aside), per product.
    int plateauReadings() const { return m_plateauEnd - m_plateauBegin; }
    std::int64_t totalReadings() const { return m_totalReadings; }

    bool finished() const { return m_index >= m_totalReadings; }
    /// The next reading; call only while not finished().
    Reading next();

private:
    double normal();
    double uniform();
    double roundToResolution(double weight) const;
    std::int64_t productStartIndex(int n) const;
    std::string frameFor(double weight, bool motion) const;
    void findPlateau();
    /// The ringing on the plateau reading at offset k.
    double ringing(std::int64_t k) const;
    /// The noise-free weight of the product's reading at offset k on the platform; motion set on ramps.
    double profile(std::int64_t k, bool& motion) const;

    SimulationSettings m_settings;
    std::int64_t m_byteNanos = 0;
    std::int64_t m_periodNanos = 0;
    double m_readingsPerCycle = 0.0;
    int m_onPlatform = 0;
    int m_plateauBegin = 0; ///< first plateau offset on the platform
    int m_plateauEnd = 0;   ///< one past the last
    std::int64_t m_leadReadings = 0;
    std::int64_t m_totalReadings = 0;
    std::int64_t m_index = 0;
    int m_nextProduct = 1;
    std::int64_t m_productStart = -1;
    double m_productWeight = 0.0;
    std::mt19937_64 m_random;
    std::optional<double> m_spareNormal;
};

} // namespace kelvora
