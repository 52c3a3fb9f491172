#pragma once

#include "weighing/FrameFormat.h"

namespace kelvora {

/// The common continuous text line "ST,GS,+0012.345kg" followed by CR LF: the state ("ST" stable, "US"
/// in motion, "OL" beyond the range, an underload when the value is negative), the kind ("GS" gross,
/// "NT" net), a comma each, then the signed value and its unit (kg, g, lb; spaces allowed around them).
/// Checked: the line's end, both commas, the state and kind words, the number and the unit.
class AsciiLineFormat final : public FrameFormat {
public:
    AsciiLineFormat();

    const FrameShape& shape() const override { return m_shape; }
    const char* read(std::string_view frame, IndicatorReading& reading) const override;

private:
    FrameShape m_shape;
};

} // namespace kelvora
