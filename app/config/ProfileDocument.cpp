#include "app/config/ProfileDocument.h"

#include "app/config/TextCodec.h"

namespace kelvora {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

char foldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool sameName(std::string_view a, std::string_view b) {
    a = trim(a);
    b = trim(b);
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

std::string_view unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

} // namespace

ProfileDocument ProfileDocument::parse(std::string_view bytes) {
    ProfileDocument document;
    if (bytes.starts_with(kBom)) {
        document.m_bom = true;
        document.m_utf8 = true;
        bytes.remove_prefix(kBom.size());
    } else {
        document.m_utf8 = TextCodec::hasNonAscii(bytes) && TextCodec::isValidUtf8(bytes);
    }
    bool eolSettled = false;
    while (!bytes.empty()) {
        const std::size_t newline = bytes.find('\n');
        Line line;
        std::string_view text = bytes.substr(0, newline);
        if (newline == std::string_view::npos) {
            bytes = {};
        } else {
            bytes.remove_prefix(newline + 1);
            line.eol = "\n";
            if (text.ends_with('\r')) {
                text.remove_suffix(1);
                line.eol = "\r\n";
            }
            if (!eolSettled) {
                document.m_eol = line.eol;
                eolSettled = true;
            }
        }
        line.raw = std::string(text);
        document.m_lines.push_back(std::move(line));
    }
    return document;
}

std::optional<std::string> ProfileDocument::decode(std::string_view raw) const {
    if (!TextCodec::hasNonAscii(raw)) {
        return std::string(raw);
    }
    if (m_utf8) {
        return TextCodec::isValidUtf8(raw) ? std::optional<std::string>(raw) : std::nullopt;
    }
    return TextCodec::gbkToUtf8(raw);
}

std::optional<std::string> ProfileDocument::encode(std::string_view utf8) const {
    if (!TextCodec::isValidUtf8(utf8)) {
        return std::nullopt;
    }
    if (m_utf8 || !TextCodec::hasNonAscii(utf8)) {
        return std::string(utf8);
    }
    return TextCodec::utf8ToGbk(utf8);
}

// "=" and the brackets are plain ASCII in UTF-8, but a GBK trail byte can be "[" or "]": a header is
// decoded before its brackets are looked for. "=" lies below every GBK trail byte, so a key line is split
// on the raw bytes and its parts are decoded apart; a bad value then does not hide its key.
ProfileDocument::ParsedLine ProfileDocument::parseLine(const std::string& raw) const {
    ParsedLine parsed;
    const std::string_view text = trim(raw);
    if (text.empty() || text.front() == ';') {
        return parsed;
    }
    if (text.front() == '[') {
        parsed.kind = Kind::Section;
        if (std::optional<std::string> decoded = decode(text)) {
            const std::string_view inner = std::string_view(*decoded).substr(1);
            parsed.name = std::string(trim(inner.substr(0, inner.find(']'))));
        }
        return parsed;
    }
    const std::size_t equals = raw.find('=');
    if (equals == std::string::npos) {
        return parsed;
    }
    parsed.kind = Kind::Key;
    parsed.name = decode(trim(std::string_view(raw).substr(0, equals)));
    parsed.valueOffset = equals + 1;
    while (parsed.valueOffset < raw.size() && isBlank(raw[parsed.valueOffset])) {
        ++parsed.valueOffset;
    }
    if (std::optional<std::string> decoded = decode(trim(std::string_view(raw).substr(parsed.valueOffset)))) {
        parsed.value = std::string(unquote(*decoded));
    }
    return parsed;
}

std::optional<std::size_t> ProfileDocument::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const ParsedLine parsed = parseLine(m_lines[i].raw);
        if (parsed.kind == Kind::Section && parsed.name && sameName(*parsed.name, section)) {
            return i;
        }
    }
    return std::nullopt;
}

std::size_t ProfileDocument::sectionEnd(std::size_t header) const {
    std::size_t end = header + 1;
    while (end < m_lines.size() && parseLine(m_lines[end].raw).kind != Kind::Section) {
        ++end;
    }
    return end;
}

std::optional<std::size_t> ProfileDocument::findKey(std::size_t header, std::string_view key) const {
    const std::size_t end = sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        const ParsedLine parsed = parseLine(m_lines[i].raw);
        if (parsed.kind == Kind::Key && parsed.name && sameName(*parsed.name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::string> ProfileDocument::value(std::string_view section, std::string_view key) const {
    const std::optional<std::size_t> header = findSection(section);
    if (!header) {
        return std::nullopt;
    }
    const std::optional<std::size_t> line = findKey(*header, key);
    if (!line) {
        return std::nullopt;
    }
    return parseLine(m_lines[*line].raw).value;
}

bool ProfileDocument::setValue(std::string_view section, std::string_view key, std::string_view value) {
    const std::optional<std::string> encodedSection = encode(trim(section));
    const std::optional<std::string> encodedKey = encode(trim(key));
    const std::optional<std::string> encodedValue = encode(value);
    if (!encodedSection || !encodedKey || !encodedValue) {
        return false;
    }
    const std::optional<std::size_t> header = findSection(section);
    if (!header) {
        insertLine(m_lines.size(), "[" + *encodedSection + "]");
        insertLine(m_lines.size(), *encodedKey + "=" + *encodedValue);
        return true;
    }
    if (const std::optional<std::size_t> line = findKey(*header, key)) {
        std::string& raw = m_lines[*line].raw;
        raw = raw.substr(0, parseLine(raw).valueOffset) + *encodedValue;
        return true;
    }
    std::size_t at = sectionEnd(*header);
    while (at > *header + 1 && trim(m_lines[at - 1].raw).empty()) {
        --at;
    }
    insertLine(at, *encodedKey + "=" + *encodedValue);
    return true;
}

void ProfileDocument::insertLine(std::size_t at, std::string raw) {
    // A last line without a line end gets one before anything follows it.
    if (at > 0 && m_lines[at - 1].eol.empty()) {
        m_lines[at - 1].eol = m_eol;
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(raw), m_eol});
}

std::string ProfileDocument::serialize() const {
    std::string bytes = m_bom ? std::string(kBom) : std::string();
    for (const Line& line : m_lines) {
        bytes += line.raw;
        bytes += line.eol;
    }
    return bytes;
}

} // namespace kelvora
