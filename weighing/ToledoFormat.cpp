#include "weighing/ToledoFormat.h"

namespace kelvora {

namespace {

constexpr std::size_t kCrAt = 16;
constexpr unsigned char kAlways = 0x20;

} // namespace

ToledoFormat::ToledoFormat(bool checksum) : m_checksum(checksum), m_shape{"\x02", "", checksum ? 18U : 17U, 18} {}

char ToledoFormat::checksum(std::string_view bytes) {
    unsigned sum = 0;
    for (char c : bytes) {
        sum += static_cast<unsigned char>(c);
    }
    return static_cast<char>((0x80U - (sum & 0x7FU)) & 0x7FU);
}

const char* ToledoFormat::read(std::string_view frame, IndicatorReading& reading) const {
    if (frame[kCrAt] != '\r') {
        return "no CR at the frame's end";
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i <= kCrAt; ++i) {
        const auto byte = static_cast<unsigned char>(frame[i]);
        if (byte & 0x80U) {
            return "eighth bit set";
        }
        sum += byte;
    }
    if (m_checksum && ((sum + static_cast<unsigned char>(frame[kCrAt + 1])) & 0x7FU) != 0) {
        return "checksum";
    }
    const auto a = static_cast<unsigned char>(frame[1]);
    const auto b = static_cast<unsigned char>(frame[2]);
    const auto c = static_cast<unsigned char>(frame[3]);
    if (!(a & kAlways) || !(b & kAlways) || !(c & kAlways)) {
        return "status word";
    }
    long long weight = 0;
    long long tare = 0;
    if (!readDigits(frame.substr(4, 6), weight) || !readDigits(frame.substr(10, 6), tare)) {
        return "digits";
    }
    // Decimal point codes 0 to 7: XXXX00, XXXXX0, XXXXXX, XXXXX.X ... XX.XXXXX.
    const int exponent = 2 - static_cast<int>(a & 0x07U);
    static constexpr int kIncrement[] = {1, 1, 2, 5};
    const double scale = exponent >= 0 ? powerOfTen(exponent) : 1.0 / powerOfTen(-exponent);
    const bool negative = (b & 0x02U) != 0;
    reading.value =
        exponent >= 0 ? static_cast<double>(weight) * scale : static_cast<double>(weight) / powerOfTen(-exponent);
    if (negative) {
        reading.value = -reading.value;
    }
    reading.division = kIncrement[(a >> 3) & 0x03U] * scale;
    reading.net = (b & 0x01U) != 0;
    reading.stable = (b & 0x08U) == 0;
    reading.unit = (b & 0x10U) ? MassUnit::Kilogram : MassUnit::Pound;
    reading.state = ReadingState::Weight;
    if (b & 0x04U) {
        reading.state = negative ? ReadingState::Underload : ReadingState::Overload;
        reading.value = 0.0;
    }
    return nullptr;
}

} // namespace kelvora
