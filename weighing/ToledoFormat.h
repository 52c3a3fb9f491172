#pragma once

#include "weighing/FrameFormat.h"

namespace kelvora {

/// The Toledo-series standard continuous output: STX, status words A, B and C, six weight digits, six
/// tare digits, CR and, when the indicator is set to send one, a checksum (two's complement of the low
/// seven bits of the sum of the bytes before it), 18 bytes in all, otherwise 17.
///
/// Read: the decimal point position and increment (A bits 2..0, 4..3), net, negative, out of range and
/// motion (B bits 0 to 3) and the unit (B bit 4: kg, else lb). Checked: the length, STX and CR, bit 5 of
/// each status word, the digits (leading spaces allowed), no byte with its eighth bit set (the line is
/// seven bits wide) and the checksum. Out of range is an overload, or an underload when negative.
class ToledoFormat final : public FrameFormat {
public:
    explicit ToledoFormat(bool checksum);

    const FrameShape& shape() const override { return m_shape; }
    const char* read(std::string_view frame, IndicatorReading& reading) const override;

    /// The checksum byte for the bytes before it.
    static char checksum(std::string_view bytes);

private:
    bool m_checksum;
    FrameShape m_shape;
};

} // namespace kelvora
