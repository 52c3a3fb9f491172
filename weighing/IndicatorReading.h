#pragma once

#include <cstdint>
#include <optional>

namespace kelvora {

/// The unit an indicator's frame names; Unknown when the frame does not say.
enum class MassUnit : std::uint8_t { Unknown, Kilogram, Gram, Pound };

/// What a checked frame says: a weight, or that the load lies beyond the indicator's range.
enum class ReadingState : std::uint8_t { Weight, Overload, Underload };

/// One reading as the indicator means it, taken from a frame that passed every check of its format.
struct IndicatorReading {
    /// Signed, with the frame's decimals applied, in the frame's unit (0 unless state is Weight).
    double value = 0.0;
    /// The value's last digit (0.01 for two decimals), times the increment when the frame names one.
    double division = 0.01;
    MassUnit unit = MassUnit::Unknown;
    ReadingState state = ReadingState::Weight;
    /// Whether the indicator reports its load as settled; nothing when the format does not say.
    std::optional<bool> stable;
    /// The frame's weight is the net weight (tare taken off).
    bool net = false;
};

/// value converted from one unit into another; Unknown on either side leaves it unchanged.
double convertWeight(double value, MassUnit from, MassUnit to);

} // namespace kelvora
