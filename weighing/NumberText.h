#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvora {

/// A text that does not hold the number it should. what() is the message the operator sees.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Conversions between control texts and numbers, shared by every part of the station.
///
/// A number text is: optional blanks, an optional sign, digits with an optional decimal point and an
/// optional exponent ("E"/"e", optional sign, digits), optional blanks. Blanks are spaces only, and none
/// may stand between the sign and the digits. Whole numbers take no point and no exponent and must fit in
/// 32 bits.
class NumberText {
public:
    static std::optional<double> parseFloat(std::string_view text);
    static std::optional<std::int32_t> parseInteger(std::string_view text);

    /// The value of a hexadecimal digit (either letter case), or -1.
    static int hexDigit(char c);

    /// Throws ConversionError "'%s' is not a valid floating point value".
    static double toFloat(std::string_view text);
    /// Throws ConversionError "'%s' is not a valid integer value".
    static std::int32_t toInteger(std::string_view text);

    /// The "0.000" format: at least one digit before the point, exactly three after it, rounded half away
    /// from zero on the value's shortest decimal form (so 1.0005 gives 1.001); never "-0.000". An infinity
    /// reads "INF" or "-INF", a NaN "NAN".
    static std::string formatWeight(double value);

    /// The standard error box's text: "." appended when the message is not empty and its last character
    /// sorts after ".".
    static std::string errorBoxText(std::string message);
};

} // namespace kelvora
