#pragma once

#include "weighing/FrameFormat.h"

#include <optional>
#include <regex>
#include <stdexcept>
#include <string>

namespace kelvora {

/// The user's own indicator format, described in a text file (仪表格式.ini beside Option.ini), section
/// [格式], one key a line, ";" or "#" starting a comment:
///   起始, 结束      the bytes a frame starts and ends with (\r \n \t \\ \xHH escapes, <STX> <ETX> <CR> <LF>)
///   长度           the frame's fixed length, markers included (one of 结束 and 长度 is required)
///   最大长度        the longest frame without a fixed length (default 64)
///   模式           a regular expression (ECMAScript) the whole frame must match; fields may then be $N groups
///   重量           the weight field (required): "position,length" (1-based in the frame) or "$N"
///   小数位          decimals of a weight field without a point (default 0); 比例: a factor (default 1)
///   单位           kg, g or lb (default: the line's unit)
///   符号, 负号       the sign field and the characters in it that mean negative
///   状态, 稳定, 超载, 欠载   the state field and the characters in it that mean stable, overload, underload
/// A frame whose fields do not read as their kinds is refused. A bad definition is refused by parse()
/// with a message naming the file's line.
class UserFormat final : public FrameFormat {
public:
    /// A definition the station cannot use; the message names the line ("仪表格式.ini 第3行：……").
    class Error : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    /// The definition in text (UTF-8); fileName is used in the messages. Throws Error.
    static UserFormat parse(const std::string& text, const std::string& fileName);

    const FrameShape& shape() const override { return m_shape; }
    const char* read(std::string_view frame, IndicatorReading& reading) const override;

    /// A field: 1-based position and length in the frame, or a group of the pattern.
    struct Field {
        std::size_t position = 0;
        std::size_t length = 0;
        std::size_t group = 0;
    };

private:
    UserFormat() = default;
    std::string_view field(const Field& field, std::string_view frame, const std::cmatch* match) const;

    FrameShape m_shape;
    std::optional<std::regex> m_pattern;
    Field m_weight;
    std::optional<Field> m_sign;
    std::optional<Field> m_state;
    std::string m_negative;
    std::string m_stable;
    std::string m_overload;
    std::string m_underload;
    int m_decimals = 0;
    double m_scale = 1.0;
    MassUnit m_unit = MassUnit::Unknown;
};

} // namespace kelvora
