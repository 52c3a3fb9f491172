#pragma once

#include "weighing/FrameFormat.h"

namespace kelvora {

/// A polled indicator of the standard interface command set: the station sends "SI" CR LF at a set rate
/// and the indicator answers at once with "S S" (stable) or "S D" (in motion), the value right-aligned
/// and its unit, CR LF, e.g. "S S      12.345 kg"; "S +" and "S -" are an overload and an underload.
/// The answers "S I" (busy) and "ES", "ET", "EL" (it did not understand the request) are sound frames
/// without a reading. Checked: the line's end, the answer's words, the number and the unit.
class SicsFormat final : public FrameFormat {
public:
    SicsFormat();

    const FrameShape& shape() const override { return m_shape; }
    const char* read(std::string_view frame, IndicatorReading& reading) const override;
    std::string_view request() const override { return "SI\r\n"; }

private:
    FrameShape m_shape;
};

} // namespace kelvora
