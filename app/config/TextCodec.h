#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

/// Conversions between the station's ANSI texts (code page 936, GBK) and UTF-8, the encoding of every text
/// inside the program.
class TextCodec {
public:
    /// GBK bytes to UTF-8; nothing when the bytes are not valid GBK or end inside a character.
    static std::optional<std::string> gbkToUtf8(std::string_view gbk);
    /// UTF-8 to GBK bytes; nothing when the text is not valid UTF-8 or holds a character GBK lacks.
    static std::optional<std::string> utf8ToGbk(std::string_view utf8);

    /// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
    static bool isValidUtf8(std::string_view bytes);
    /// True when some byte is outside 7-bit ASCII.
    static bool hasNonAscii(std::string_view bytes);
};

} // namespace kelvora
