#pragma once

#include "weighing/FrameFormat.h"

namespace kelvora {

/// The Yaohua-series continuous output in reversed order: "=" followed by the seven characters of the
/// display (digits, at most one decimal point and, for a negative weight, "-" first) from the last to the
/// first. 100.05 (display "0100.05") is sent "=50.0010", -12.5 (display "-0012.5") "=5.2100-". Checked:
/// "=", the seven characters and where the point and the minus may stand. The frame carries no check
/// characters, unit or motion state.
class YaohuaReversedFormat final : public FrameFormat {
public:
    YaohuaReversedFormat();

    const FrameShape& shape() const override { return m_shape; }
    const char* read(std::string_view frame, IndicatorReading& reading) const override;

private:
    FrameShape m_shape;
};

} // namespace kelvora
