#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvora {

/// Character positions in code page 936 (GBK) text, where a lead byte 0x81-0xFE followed by a trail byte
/// 0x40-0xFE (not 0x7F) is one character and every other byte is a character of its own.
class GbkText {
public:
    /// Up to count characters from the 1-based character position start (a start below 1 counts as 1),
    /// as their bytes; fewer when the text ends sooner.
    static std::string copy(std::string_view bytes, std::ptrdiff_t start, std::size_t count);
};

} // namespace kelvora
