#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

namespace kelvora {

/// The operating system refused to write the profile file. what() is "Unable to write to <path>".
class ProfileWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A section, key or value that the file cannot hold: a line break, a "]" in a section name, an "=" in a
/// key name, an empty name, or a character the file's encoding lacks. Nothing is written.
class ProfileValueError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

/// A settings file of "[section]" header lines and "key=value" lines.
///
/// Names and values are UTF-8 on this side. Section and key names match without regard to ASCII letter
/// case; blanks around names and values are ignored, a value wrapped in a pair of matching quotes loses
/// them, lines starting with ";" are comments. Within a file the first section of a name and, in it, the
/// first key of a name count.
///
/// Encoding: a file that starts with a UTF-8 byte-order mark, or that is valid UTF-8 with at least one
/// non-ASCII character, is UTF-8 and stays so; any other file, and a new one, is GBK (code page 936).
/// A line that does not decode never matches a name and is kept as it is.
///
/// Every call opens the file, reads or writes it, and releases it; nothing is cached. A missing file,
/// section or key gives the default. A write creates the file (GBK, CRLF line ends), replaces only the
/// value of its key's line, or adds the key at the end of its section, or adds the section at the end of
/// the file; every other line keeps its bytes and line end, and new lines take the file's line end.
class ProfileFile {
public:
    explicit ProfileFile(std::string path);

    const std::string& path() const { return m_path; }

    /// The key's text, empty when the key is present without a value; nothing when the file, section or
    /// key is missing or the value does not decode.
    std::optional<std::string> readText(const std::string& section, const std::string& key) const;
    std::string readString(const std::string& section, const std::string& key, const std::string& fallback) const;
    /// Decimal, or hexadecimal after "0x"/"0X" (up to 32 bits, taken as signed); an empty value or one that
    /// is not a whole number gives the fallback.
    std::int32_t readInteger(const std::string& section, const std::string& key, std::int32_t fallback) const;
    /// Read as an integer with the fallback 1 or 0; any value but 0 is yes.
    bool readBool(const std::string& section, const std::string& key, bool fallback) const;
    /// A decimal number with "." as separator; a value that does not convert gives the fallback.
    double readFloat(const std::string& section, const std::string& key, double fallback) const;

    /// Throw ProfileWriteError when the file or its directory cannot be written, ProfileValueError for names
    /// or a value the file cannot hold. Either way the file is left as it was.
    void writeString(const std::string& section, const std::string& key, const std::string& value);
    /// Writes decimal digits.
    void writeInteger(const std::string& section, const std::string& key, std::int64_t value);
    /// Writes "1" or "0".
    void writeBool(const std::string& section, const std::string& key, bool value);

    /// The integer rule of readInteger on one value text.
    static std::optional<std::int32_t> parseInteger(const std::string& text);

private:
    std::string m_path;
};

} // namespace kelvora
