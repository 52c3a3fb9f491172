#include "weighing/SicsFormat.h"

namespace kelvora {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

SicsFormat::SicsFormat() : m_shape{"", "\r\n", 0, 40} {}

const char* SicsFormat::read(std::string_view frame, IndicatorReading& reading) const {
    const std::string_view line = trimmed(frame.substr(0, frame.size() - 2));
    if (line == "S I" || line == "ES" || line == "ET" || line == "EL") {
        return kNoReading;
    }
    if (line.size() < 3 || line.substr(0, 2) != "S ") {
        return "answer";
    }
    const char state = line[2];
    reading.net = false;
    reading.unit = MassUnit::Unknown;
    if ((state == '+' || state == '-') && line.size() == 3) {
        reading.state = state == '+' ? ReadingState::Overload : ReadingState::Underload;
        reading.value = 0.0;
        reading.stable.reset();
        return nullptr;
    }
    if ((state != 'S' && state != 'D') || line.size() < 4 || line[3] != ' ') {
        return "answer";
    }
    const std::string_view rest = trimmed(line.substr(4));
    const std::size_t space = rest.rfind(' ');
    if (space == std::string_view::npos) {
        return "unit";
    }
    int decimals = 0;
    if (!readUnit(rest.substr(space + 1), reading.unit) || reading.unit == MassUnit::Unknown) {
        return "unit";
    }
    if (!readDecimal(rest.substr(0, space), reading.value, decimals)) {
        return "number";
    }
    reading.division = 1.0 / powerOfTen(decimals);
    reading.stable = state == 'S';
    reading.state = ReadingState::Weight;
    return nullptr;
}

} // namespace kelvora
