#pragma once

#include "weighing/IndicatorReading.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvora {

/// Where one frame of a format begins and ends in the byte stream.
struct FrameShape {
    /// The bytes every frame starts with; empty: a frame starts right after the previous one's end.
    std::string start;
    /// The bytes every frame ends with; empty: the frame is length bytes long.
    std::string end;
    /// The frame's length, start and end included; 0: anything up to maxLength that ends with end.
    std::size_t length = 0;
    std::size_t maxLength = 64;
};

/// One indicator family's frame: its shape and how a whole frame is checked and read. Implementations
/// are immutable and keep no state between frames, so one object serves any number of decoders.
class FrameFormat {
public:
    virtual ~FrameFormat() = default;

    virtual const FrameShape& shape() const = 0;
    /// Checks one whole frame (as FrameShape cut it, start and end included) and reads it into reading.
    /// Returns nullptr when the frame holds a reading; kNoReading when the frame is sound but holds none
    /// (a polled indicator's "busy" answer); otherwise a short reason why the frame was refused.
    virtual const char* read(std::string_view frame, IndicatorReading& reading) const = 0;
    /// What the station sends to ask a polled indicator for one reading; empty for a continuous one.
    virtual std::string_view request() const { return {}; }

    /// A frame that is well formed but carries no reading.
    static constexpr const char* kNoReading = "";
};

/// The whole text of field is an unsigned integer, leading spaces allowed (some indicators blank leading
/// zeros); at least one digit.
bool readDigits(std::string_view field, long long& value);
/// A decimal number "[+|-] digits [. digits]" with spaces allowed around it and between the sign and the
/// digits; decimals receives the number of digits after the point.
bool readDecimal(std::string_view field, double& value, int& decimals);
/// "kg", "g", "lb" or "lbs" in any case, or nothing (Unknown); false for any other text.
bool readUnit(std::string_view field, MassUnit& unit);
/// 10 to the power exponent, exactly for the exponents frames use.
double powerOfTen(int exponent);

} // namespace kelvora
