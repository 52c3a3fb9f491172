#include "simulator/IndicatorFrame.h"

#include <cmath>
#include <cstdio>

namespace kelvora {

namespace {

constexpr char kStx = 0x02;
constexpr char kEtx = 0x03;
constexpr char kCr = 0x0D;
constexpr long long kSixDigitMax = 999999;

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

std::string IndicatorFrame::toledo(double weight, bool motion) {
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
    frame += static_cast<char>(toledoChecksum(frame));
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
