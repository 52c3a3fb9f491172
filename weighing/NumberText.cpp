#include "weighing/NumberText.h"

#include <charconv>
#include <cmath>

namespace kelvora {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Splits off the blanks around the number and the sign; returns the unsigned body, or nothing when the
// text is only blanks.
std::optional<std::string_view> unsignedBody(std::string_view text, bool& negative) {
    std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t end = text.find_last_not_of(' ') + 1;
    std::string_view body = text.substr(begin, end - begin);
    negative = false;
    if (body.front() == '+' || body.front() == '-') {
        negative = body.front() == '-';
        body.remove_prefix(1);
    }
    return body;
}

// digits [ "." digits ] [ ("E"|"e") [sign] digits ], with at least one mantissa digit.
bool isDecimalBody(std::string_view body) {
    std::size_t i = 0;
    std::size_t mantissaDigits = 0;
    while (i < body.size() && isDigit(body[i])) {
        ++i;
        ++mantissaDigits;
    }
    if (i < body.size() && body[i] == '.') {
        ++i;
        while (i < body.size() && isDigit(body[i])) {
            ++i;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) {
        return false;
    }
    if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
        ++i;
        if (i < body.size() && (body[i] == '+' || body[i] == '-')) {
            ++i;
        }
        std::size_t exponentDigits = 0;
        while (i < body.size() && isDigit(body[i])) {
            ++i;
            ++exponentDigits;
        }
        if (exponentDigits == 0) {
            return false;
        }
    }
    return i == body.size();
}

// Adds one unit in the last place of a digit string, carrying to the left.
void incrementDigits(std::string& digits) {
    for (std::size_t i = digits.size(); i-- > 0;) {
        if (digits[i] == '9') {
            digits[i] = '0';
        } else {
            ++digits[i];
            return;
        }
    }
    digits.insert(digits.begin(), '1');
}

} // namespace

std::optional<double> NumberText::parseFloat(std::string_view text) {
    bool negative = false;
    std::optional<std::string_view> body = unsignedBody(text, negative);
    if (!body || !isDecimalBody(*body)) {
        return std::nullopt;
    }
    double value = 0.0;
    auto [end, error] = std::from_chars(body->data(), body->data() + body->size(), value);
    if (error != std::errc() || end != body->data() + body->size() || !std::isfinite(value)) {
        return std::nullopt;
    }
    return negative ? -value : value;
}

std::optional<std::int32_t> NumberText::parseInteger(std::string_view text) {
    bool negative = false;
    std::optional<std::string_view> body = unsignedBody(text, negative);
    if (!body || body->empty() || body->find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    long long value = 0;
    for (char c : *body) {
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) {
            return std::nullopt;
        }
    }
    value = negative ? -value : value;
    if (value > 2147483647LL) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

int NumberText::hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

double NumberText::toFloat(std::string_view text) {
    if (std::optional<double> value = parseFloat(text)) {
        return *value;
    }
    throw ConversionError("'" + std::string(text) + "' is not a valid floating point value");
}

std::int32_t NumberText::toInteger(std::string_view text) {
    if (std::optional<std::int32_t> value = parseInteger(text)) {
        return *value;
    }
    throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
}

std::string NumberText::formatWeight(double value) {
    // Infinities and NaN have no digits to round; they read as a display of such values does.
    if (std::isnan(value)) {
        return "NAN";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-INF" : "INF";
    }
    // Round on the 15-digit decimal form, as a display does, rather than on the binary value.
    char buffer[64];
    auto written = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14);
    std::string text(buffer, written.ptr);
    std::size_t ePos = text.find('e');
    std::string digits = text.substr(0, 1) + text.substr(2, ePos - 2);
    int integerLength = std::stoi(text.substr(ePos + 1)) + 1;

    std::string fixed; // the digits with the point removed, holding exactly three decimals after rounding
    if (integerLength <= 0) {
        digits.insert(0, static_cast<std::size_t>(-integerLength), '0');
        integerLength = 0;
    } else if (integerLength > static_cast<int>(digits.size())) {
        digits.append(static_cast<std::size_t>(integerLength) - digits.size(), '0');
    }
    digits.append(4, '0');
    fixed = digits.substr(0, static_cast<std::size_t>(integerLength) + 3);
    if (digits[static_cast<std::size_t>(integerLength) + 3] >= '5') {
        incrementDigits(fixed);
    }
    std::string integerPart = fixed.substr(0, fixed.size() - 3);
    std::string decimals = fixed.substr(fixed.size() - 3);
    std::size_t firstNonZero = integerPart.find_first_not_of('0');
    integerPart = firstNonZero == std::string::npos ? "0" : integerPart.substr(firstNonZero);
    bool isZero = integerPart == "0" && decimals == "000";
    return (value < 0 && !isZero ? "-" : "") + integerPart + "." + decimals;
}

std::string NumberText::errorBoxText(std::string message) {
    if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.')) {
        message += '.';
    }
    return message;
}

} // namespace kelvora
