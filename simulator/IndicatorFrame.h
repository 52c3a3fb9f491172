#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvora {

/// The indicator families the simulator speaks (the station's ids in brackets): Toledo continuous with a
/// checksum [toledo] and without [toledo-nocheck], Yaohua continuous of 12 bytes [yaohua] and reversed
/// [yaohua-reversed], the text line "ST,GS,+0012.345kg" [ascii-line], and the polled answer to "SI" [sics].
enum class IndicatorKind { Toledo, Yaohua, ToledoPlain, YaohuaReversed, AsciiLine, Sics };

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
    /// Two decimals: the display "0100.05".
    static constexpr double kReversedResolution = 0.01;
    /// Three decimals, as the text formats commonly send kg.
    static constexpr double kTextResolution = 0.001;

    /// A frame of any family; the unit is kg. Yaohua frames carry no motion state.
    static std::string make(IndicatorKind kind, double weight, bool motion);
    static std::size_t length(IndicatorKind kind);
    static double resolution(IndicatorKind kind);
    /// The family's id in the station's Option.ini ([仪表] 型号).
    static std::string_view id(IndicatorKind kind);

    /// STX, SWA SWB SWC, six weight digits, six tare digits (zero), CR, checksum. Gross, kg, increment x1.
    /// SWB carries the sign, the motion bit, and the out-of-range bit when |weight| exceeds 9999.99 (the
    /// digits then read 999999).
    static std::string toledo(double weight, bool motion, bool checksum = true);
    /// STX, sign, six weight digits, the number of decimals, the XOR of bytes 2 to 9 as two upper-case
    /// hexadecimal characters, ETX. |weight| above 99999.9 is sent as 999999.
    static std::string yaohua(double weight);
    /// "=" and the seven display characters ("0100.05", "-0012.5") last first; beyond the display 9999.99.
    static std::string yaohuaReversed(double weight);
    /// "ST,GS,+0012.345kg" CR LF ("US" in motion, "OL" beyond 99999.999).
    static std::string asciiLine(double weight, bool motion);
    /// "S S" or "S D" (in motion), the value right-aligned in ten characters, " kg", CR LF; "S +" / "S -"
    /// beyond 99999.999.
    static std::string sics(double weight, bool motion);

    /// The Toledo checksum of the bytes before it: two's complement of the low 7 bits of their sum.
    static std::uint8_t toledoChecksum(std::string_view bytes);
    /// The Yaohua check value: the XOR of the bytes given (the sign, the six digits and the decimals).
    static std::uint8_t yaohuaCheck(std::string_view bytes);
};

} // namespace kelvora
