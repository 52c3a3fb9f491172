#include "weighing/YaohuaReversedFormat.h"

#include <algorithm>

namespace kelvora {

namespace {

constexpr std::size_t kDisplay = 7;

} // namespace

YaohuaReversedFormat::YaohuaReversedFormat() : m_shape{"=", "", 1 + kDisplay, 1 + kDisplay} {}

const char* YaohuaReversedFormat::read(std::string_view frame, IndicatorReading& reading) const {
    char display[kDisplay];
    std::reverse_copy(frame.begin() + 1, frame.end(), display);
    const std::string_view shown(display, kDisplay);
    for (std::size_t i = 0; i < kDisplay; ++i) {
        const char c = shown[i];
        const bool allowed = (c >= '0' && c <= '9') || c == '.' || (c == '-' && i == 0);
        if (!allowed) {
            return "display characters";
        }
    }
    if (shown.front() == '.' || shown.back() == '.') {
        return "decimal point";
    }
    double value = 0.0;
    int decimals = 0;
    if (!readDecimal(shown, value, decimals)) {
        return "decimal point";
    }
    reading.value = value;
    reading.division = 1.0 / powerOfTen(decimals);
    reading.unit = MassUnit::Unknown;
    reading.state = ReadingState::Weight;
    reading.stable.reset();
    reading.net = false;
    return nullptr;
}

} // namespace kelvora
