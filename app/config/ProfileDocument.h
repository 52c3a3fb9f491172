#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

/// The lines of one profile file in memory, for a single read or write of ProfileFile: lookup by case-blind
/// section and key names, and an edit that touches one line and keeps the bytes of all others.
class ProfileDocument {
public:
    /// Splits the file's bytes into lines and settles the encoding (see ProfileFile). Empty bytes make a new
    /// GBK document with CRLF line ends.
    static ProfileDocument parse(std::string_view bytes);

    /// The decoded value (blanks and a pair of enclosing quotes removed) of the first matching key in the
    /// first matching section; nothing when either is missing or the line does not decode.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    /// Sets the key's value: replaces the value part of its line, or adds a line at the end of its section
    /// (before trailing blank lines), or adds the section and the key at the end. Returns false, changing
    /// nothing, when the texts cannot be encoded in the document's encoding.
    bool setValue(std::string_view section, std::string_view key, std::string_view value);

    /// The bytes of the document: the byte-order mark if it had one, then every line with its line end.
    std::string serialize() const;

    bool isUtf8() const { return m_utf8; }

private:
    struct Line {
        std::string raw;
        std::string eol;
    };

    enum class Kind { Other, Section, Key };

    struct ParsedLine {
        Kind kind = Kind::Other;
        std::optional<std::string> name;
        std::optional<std::string> value;
        std::size_t valueOffset = 0;
    };

    ParsedLine parseLine(const std::string& raw) const;
    std::optional<std::string> decode(std::string_view raw) const;
    std::optional<std::string> encode(std::string_view utf8) const;
    std::optional<std::size_t> findSection(std::string_view section) const;
    std::size_t sectionEnd(std::size_t header) const;
    std::optional<std::size_t> findKey(std::size_t header, std::string_view key) const;
    void insertLine(std::size_t at, std::string raw);

    std::vector<Line> m_lines;
    bool m_utf8 = false;
    bool m_bom = false;
    std::string m_eol = "\r\n";
};

} // namespace kelvora
