#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvora {

/// The two weighing indicators' continuous output frames, built from a weight in the indicator's unit.
///
/// The decimals are fixed to what the station reads: Toledo frames carry two decimals (the station reads
/// the last five weight digits as hundredths), Yaohua frames one (the station reads six digits as tenths),
/// so the station shows the weight the indicator displays.
class IndicatorFrame {
public:
    static constexpr std::size_t kToledoLength = 18;
    static constexpr std::size_t kYaohuaLength = 12;
    static constexpr double kToledoResolution = 0.01;
    static constexpr double kYaohuaResolution = 0.1;

    /// STX, SWA SWB SWC, six weight digits, six tare digits (zero), CR, checksum. Gross, kg, increment x1.
    /// SWB carries the sign, the motion bit, and the out-of-range bit when |weight| exceeds 9999.99 (the
    /// digits then read 999999).
    static std::string toledo(double weight, bool motion);
    /// STX, sign, six weight digits, the number of decimals, the XOR of bytes 2 to 9 as two upper-case
    /// hexadecimal characters, ETX. |weight| above 99999.9 is sent as 999999.
    static std::string yaohua(double weight);

    /// The Toledo checksum of the bytes before it: two's complement of the low 7 bits of their sum.
    static std::uint8_t toledoChecksum(std::string_view bytes);
    /// The Yaohua check value: the XOR of the bytes given (the sign, the six digits and the decimals).
    static std::uint8_t yaohuaCheck(std::string_view bytes);
};

} // namespace kelvora
