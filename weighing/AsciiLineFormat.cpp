#include "weighing/AsciiLineFormat.h"

namespace kelvora {

namespace {

// Where the number ends and the unit begins: the trailing letters and spaces are the unit.
std::size_t unitStart(std::string_view text) {
    std::size_t at = text.size();
    while (at > 0 && (text[at - 1] == ' ' || ((text[at - 1] | 0x20) >= 'a' && (text[at - 1] | 0x20) <= 'z'))) {
        --at;
    }
    return at;
}

} // namespace

AsciiLineFormat::AsciiLineFormat() : m_shape{"", "\r\n", 0, 40} {}

const char* AsciiLineFormat::read(std::string_view frame, IndicatorReading& reading) const {
    const std::string_view line = frame.substr(0, frame.size() - 2);
    if (line.size() < 7 || line[2] != ',' || line[5] != ',') {
        return "line layout";
    }
    const std::string_view state = line.substr(0, 2);
    const std::string_view kind = line.substr(3, 2);
    if ((state != "ST" && state != "US" && state != "OL") || (kind != "GS" && kind != "NT")) {
        return "state or kind";
    }
    const std::string_view rest = line.substr(6);
    const std::size_t split = unitStart(rest);
    MassUnit unit = MassUnit::Unknown;
    double value = 0.0;
    int decimals = 0;
    if (!readUnit(rest.substr(split), unit)) {
        return "unit";
    }
    const bool overload = state == "OL";
    const bool number = readDecimal(rest.substr(0, split), value, decimals);
    if (!number && !overload) {
        return "number";
    }
    reading.unit = unit;
    reading.net = kind == "NT";
    reading.stable = state == "ST";
    reading.division = 1.0 / powerOfTen(decimals);
    reading.value = overload ? 0.0 : value;
    const bool below = rest.find('-') != std::string_view::npos;
    reading.state = !overload ? ReadingState::Weight : below ? ReadingState::Underload : ReadingState::Overload;
    return nullptr;
}

} // namespace kelvora
