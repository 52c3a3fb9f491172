#include "weighing/CheckedDecoding.h"

namespace kelvora {

CheckedDecoding::CheckedDecoding(std::shared_ptr<const FrameFormat> format, MassUnit lineUnit)
    : m_assembler(std::move(format)), m_lineUnit(lineUnit) {}

void CheckedDecoding::feed(std::string_view bytes, Receiver& receiver) {
    m_receiver = &receiver;
    m_assembler.feed(bytes, *this);
    m_receiver = nullptr;
}

void CheckedDecoding::reading(const IndicatorReading& reading) {
    LineReading line;
    line.state = reading.state;
    line.stable = reading.stable;
    if (reading.state == ReadingState::Weight) {
        line.weight = convertWeight(reading.value, reading.unit, m_lineUnit);
        line.division = convertWeight(reading.division, reading.unit, m_lineUnit);
    }
    m_receiver->decoded(line);
}

void CheckedDecoding::badFrame(std::string_view reason) {
    m_receiver->refused(reason);
}

} // namespace kelvora
