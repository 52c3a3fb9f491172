#include "feed/JsonText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kelvora {

void JsonText::key(std::string_view name) {
    if (!m_body.empty()) {
        m_body += ',';
    }
    m_body += quoted(name);
    m_body += ':';
}

JsonText& JsonText::add(std::string_view name, std::string_view value) {
    key(name);
    m_body += quoted(value);
    return *this;
}

JsonText& JsonText::add(std::string_view name, double value) {
    key(name);
    m_body += number(value);
    return *this;
}

JsonText& JsonText::add(std::string_view name, const std::optional<double>& value) {
    return value ? add(name, *value) : addNull(name);
}

JsonText& JsonText::add(std::string_view name, std::int64_t value) {
    key(name);
    m_body += std::to_string(value);
    return *this;
}

JsonText& JsonText::add(std::string_view name, bool value) {
    key(name);
    m_body += value ? "true" : "false";
    return *this;
}

JsonText& JsonText::addNull(std::string_view name) {
    key(name);
    m_body += "null";
    return *this;
}

JsonText& JsonText::add(std::string_view name, const std::vector<double>& values) {
    key(name);
    m_body += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        m_body += (i ? "," : "") + number(values[i]);
    }
    m_body += ']';
    return *this;
}

JsonText& JsonText::addRaw(std::string_view name, std::string_view json) {
    key(name);
    m_body += json;
    return *this;
}

std::string JsonText::quoted(std::string_view value) {
    std::string out = "\"";
    for (const char c : value) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + '"';
}

std::string JsonText::number(double value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

} // namespace kelvora
