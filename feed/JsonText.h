#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvora {

/// Builds one JSON object's text, its fields in the order they are added. Numbers are written in their
/// shortest form that reads back exactly; a number that is not finite is written as null.
class JsonText {
public:
    JsonText& add(std::string_view key, std::string_view value);
    JsonText& add(std::string_view key, const char* value) { return add(key, std::string_view(value)); }
    JsonText& add(std::string_view key, const std::string& value) { return add(key, std::string_view(value)); }
    JsonText& add(std::string_view key, double value);
    /// null for nothing.
    JsonText& add(std::string_view key, const std::optional<double>& value);
    JsonText& add(std::string_view key, std::int64_t value);
    JsonText& add(std::string_view key, int value) { return add(key, static_cast<std::int64_t>(value)); }
    JsonText& add(std::string_view key, bool value);
    JsonText& addNull(std::string_view key);
    JsonText& add(std::string_view key, const std::vector<double>& values);
    /// A field whose value is already JSON text.
    JsonText& addRaw(std::string_view key, std::string_view json);

    /// The object's text, braces included.
    std::string text() const { return "{" + m_body + "}"; }

    /// value as a JSON string, quotes included; control characters escaped, other bytes (UTF-8) as they are.
    static std::string quoted(std::string_view value);
    /// value as a JSON number, or null when it is not finite.
    static std::string number(double value);

private:
    void key(std::string_view name);

    std::string m_body;
};

} // namespace kelvora
