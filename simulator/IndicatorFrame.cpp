#include "simulator/IndicatorFrame.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kelvora {

namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kCr = 0x0D;
constexpr long long kSixDigitMax = 999999;
constexpr double kTextMax = 99999.999;

// SWA: bit 5 always set, increment x1 (bits 4..3 = 01), two decimals (bits 2..0 = 100).
constexpr char kToledoSwa = 0x20 | 0x08 | 0x04;
constexpr char kSwbAlways = 0x20;
constexpr char kSwbNegative = 0x02;
constexpr char kSwbOutOfRange = 0x04;
constexpr char kSwbMotion = 0x08;
constexpr char kSwbKilogram = 0x10;
constexpr char kToledoSwc = 0x20;

std::string sixDigits(long long counts) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%06lld", counts);
    return digits;
}

} // namespace

std::string IndicatorFrame::toledo(double weight, bool motion, bool checksum) {
    long long counts = std::llround(std::fabs(weight) / kToledoResolution);
    char swb = kSwbAlways | kSwbKilogram;
    if (weight < 0 && counts != 0) {
        swb |= kSwbNegative;
    }
    if (motion) {
        swb |= kSwbMotion;
    }
    if (counts > kSixDigitMax) {
        swb |= kSwbOutOfRange;
        counts = kSixDigitMax;
    }
    std::string frame;
    frame.reserve(kToledoLength);
    frame += kStx;
    frame += kToledoSwa;
    frame += swb;
    frame += kToledoSwc;
    frame += sixDigits(counts);
    frame += "000000";
    frame += kCr;
    if (checksum) {
        frame += static_cast<char>(toledoChecksum(frame));
    }
    return frame;
}

std::string IndicatorFrame::yaohua(double weight) {
    long long counts = std::llround(std::fabs(weight) / kYaohuaResolution);
    if (counts > kSixDigitMax) {
        counts = kSixDigitMax;
    }
    std::string checked;
    checked += (weight < 0 && counts != 0) ? '-' : '+';
    checked += sixDigits(counts);
    checked += '1';
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::uint8_t check = yaohuaCheck(checked);
    std::string frame;
    frame.reserve(kYaohuaLength);
    frame += kStx;
    frame += checked;
    frame += kHex[check >> 4];
    frame += kHex[check & 0x0F];
    frame += kEtx;
    return frame;
}

std::string IndicatorFrame::yaohuaReversed(double weight) {
    char display[16];
    const double shown = std::min(std::fabs(weight), 9999.99);
    std::snprintf(display, sizeof display, weight < 0 && shown >= 0.005 ? "-%06.2f" : "%07.2f", shown);
    const std::string shownText = display;
    return "=" + std::string(shownText.rbegin(), shownText.rend());
}

std::string IndicatorFrame::asciiLine(double weight, bool motion) {
    char line[40];
    if (std::fabs(weight) > kTextMax) {
        std::snprintf(line, sizeof line, "OL,GS,%c9999.999kg\r\n", weight < 0 ? '-' : '+');
    } else {
        std::snprintf(line, sizeof line, "%s,GS,%+09.3fkg\r\n", motion ? "US" : "ST", weight);
    }
    return line;
}

std::string IndicatorFrame::sics(double weight, bool motion) {
    if (std::fabs(weight) > kTextMax) {
        return weight < 0 ? "S -\r\n" : "S +\r\n";
    }
    char line[40];
    std::snprintf(line, sizeof line, "S %c %10.3f kg\r\n", motion ? 'D' : 'S', weight);
    return line;
}

std::string IndicatorFrame::make(IndicatorKind kind, double weight, bool motion) {
    switch (kind) {
    case IndicatorKind::Toledo:
        return toledo(weight, motion);
    case IndicatorKind::ToledoPlain:
        return toledo(weight, motion, false);
    case IndicatorKind::Yaohua:
        return yaohua(weight);
    case IndicatorKind::YaohuaReversed:
        return yaohuaReversed(weight);
    case IndicatorKind::AsciiLine:
        return asciiLine(weight, motion);
    case IndicatorKind::Sics:
        return sics(weight, motion);
    }
    return {};
}

std::size_t IndicatorFrame::length(IndicatorKind kind) {
    static constexpr std::size_t kLengths[] = {kToledoLength, kYaohuaLength, kToledoLength - 1, 8, 19, 19};
    return kLengths[static_cast<std::size_t>(kind)];
}

double IndicatorFrame::resolution(IndicatorKind kind) {
    static constexpr double kSteps[] = {kToledoResolution,   kYaohuaResolution, kToledoResolution,
                                        kReversedResolution, kTextResolution,   kTextResolution};
    return kSteps[static_cast<std::size_t>(kind)];
}

std::string_view IndicatorFrame::id(IndicatorKind kind) {
    static constexpr std::string_view kIds[] = {"toledo",          "yaohua",     "toledo-nocheck",
                                                "yaohua-reversed", "ascii-line", "sics"};
    return kIds[static_cast<std::size_t>(kind)];
}

std::uint8_t IndicatorFrame::toledoChecksum(std::string_view bytes) {
    unsigned sum = 0;
    for (char c : bytes) {
        sum += static_cast<std::uint8_t>(c);
    }
    return static_cast<std::uint8_t>((0x80 - (sum & 0x7F)) & 0x7F);
}

std::uint8_t IndicatorFrame::yaohuaCheck(std::string_view bytes) {
    std::uint8_t check = 0;
    for (char c : bytes) {
        check ^= static_cast<std::uint8_t>(c);
    }
    return check;
}

} // namespace kelvora
