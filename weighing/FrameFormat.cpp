#include "weighing/FrameFormat.h"

#include <array>

namespace kelvora {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

std::string_view trimmedSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsFolded(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (lower(text[i]) != word[i]) {
            return false;
        }
    }
    return true;
}

} // namespace

bool readDigits(std::string_view field, long long& value) {
    std::size_t i = 0;
    while (i < field.size() && field[i] == ' ') {
        ++i;
    }
    if (i == field.size()) {
        return false;
    }
    long long result = 0;
    for (; i < field.size(); ++i) {
        if (!isDigit(field[i])) {
            return false;
        }
        result = result * 10 + (field[i] - '0');
    }
    value = result;
    return true;
}

bool readDecimal(std::string_view field, double& value, int& decimals) {
    field = trimmedSpaces(field);
    bool negative = false;
    if (!field.empty() && (field.front() == '+' || field.front() == '-')) {
        negative = field.front() == '-';
        field = trimmedSpaces(field.substr(1));
    }
    long long counts = 0;
    int digits = 0;
    int after = -1; // digits after the point; -1 before it
    for (char c : field) {
        if (isDigit(c)) {
            counts = counts * 10 + (c - '0');
            ++digits;
            after += after >= 0 ? 1 : 0;
        } else if (c == '.' && after < 0) {
            after = 0;
        } else {
            return false;
        }
    }
    if (digits == 0 || digits > 15) {
        return false;
    }
    decimals = after < 0 ? 0 : after;
    const double magnitude = static_cast<double>(counts) / powerOfTen(decimals);
    value = negative ? -magnitude : magnitude;
    return true;
}

bool readUnit(std::string_view field, MassUnit& unit) {
    field = trimmedSpaces(field);
    if (field.empty()) {
        unit = MassUnit::Unknown;
    } else if (equalsFolded(field, "kg")) {
        unit = MassUnit::Kilogram;
    } else if (equalsFolded(field, "g")) {
        unit = MassUnit::Gram;
    } else if (equalsFolded(field, "lb") || equalsFolded(field, "lbs")) {
        unit = MassUnit::Pound;
    } else {
        return false;
    }
    return true;
}

double powerOfTen(int exponent) {
    static constexpr std::array<double, 19> kPowers{1e-9, 1e-8, 1e-7, 1e-6, 1e-5, 1e-4, 1e-3, 1e-2, 1e-1, 1e0,
                                                    1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9};
    if (exponent < -9 || exponent > 9) {
        return exponent < 0 ? 0.0 : 1e9;
    }
    return kPowers[static_cast<std::size_t>(exponent + 9)];
}

double convertWeight(double value, MassUnit from, MassUnit to) {
    constexpr double kGramsPerPound = 453.59237;
    auto grams = [](MassUnit unit) {
        return unit == MassUnit::Kilogram ? 1000.0 : unit == MassUnit::Gram ? 1.0 : kGramsPerPound;
    };
    if (from == to || from == MassUnit::Unknown || to == MassUnit::Unknown) {
        return value;
    }
    return value * grams(from) / grams(to);
}

} // namespace kelvora
