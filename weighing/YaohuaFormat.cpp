#include "weighing/YaohuaFormat.h"

namespace kelvora {

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

} // namespace

YaohuaFormat::YaohuaFormat() : m_shape{"\x02", "\x03", 12, 12} {}

const char* YaohuaFormat::read(std::string_view frame, IndicatorReading& reading) const {
    const char sign = frame[1];
    if (sign != '+' && sign != '-') {
        return "sign";
    }
    unsigned check = 0;
    for (std::size_t i = 1; i <= 8; ++i) {
        check ^= static_cast<unsigned char>(frame[i]);
    }
    const int high = hexValue(frame[9]);
    const int low = hexValue(frame[10]);
    if (high < 0 || low < 0 || static_cast<unsigned>(high * 16 + low) != check) {
        return "check characters";
    }
    long long counts = 0;
    if (!readDigits(frame.substr(2, 6), counts) || frame[2] == ' ') {
        return "digits";
    }
    if (frame[8] < '0' || frame[8] > '4') {
        return "decimals";
    }
    const int decimals = frame[8] - '0';
    const double magnitude = static_cast<double>(counts) / powerOfTen(decimals);
    reading.value = sign == '-' ? -magnitude : magnitude;
    reading.division = 1.0 / powerOfTen(decimals);
    reading.unit = MassUnit::Unknown;
    reading.state = ReadingState::Weight;
    reading.stable.reset();
    reading.net = false;
    return nullptr;
}

} // namespace kelvora
