#pragma once

#include "weighing/FrameFormat.h"

namespace kelvora {

/// The Yaohua-series continuous output of twelve bytes: STX, "+" or "-", six weight digits, the number of
/// decimals ("0" to "4"), the XOR of the sign, digits and decimals as two hexadecimal characters (high
/// nibble first), ETX. Checked: STX and ETX, the sign, the digits, the decimals and the check
/// characters. The frame names neither the unit nor the motion state.
class YaohuaFormat final : public FrameFormat {
public:
    YaohuaFormat();

    const FrameShape& shape() const override { return m_shape; }
    const char* read(std::string_view frame, IndicatorReading& reading) const override;

private:
    FrameShape m_shape;
};

} // namespace kelvora
