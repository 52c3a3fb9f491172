#include "weighing/UserFormat.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

namespace kelvora {

namespace {

constexpr std::size_t kLongestFrame = 1024;

std::string trimmed(const std::string& text) {
    const auto begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) {
        return {};
    }
    return text.substr(begin, text.find_last_not_of(" \t\r\n") - begin + 1);
}

struct Entry {
    std::string value;
    int line = 0;
};

class Definition {
public:
    Definition(const std::string& text, const std::string& fileName) : m_file(fileName) { collect(text); }

    [[noreturn]] void fail(int line, const std::string& what) const {
        throw UserFormat::Error(m_file + " 第" + std::to_string(line) + "行：" + what);
    }
    const Entry* get(const std::string& key) const {
        const auto at = m_entries.find(key);
        return at == m_entries.end() ? nullptr : &at->second;
    }
    int sectionLine() const { return m_sectionLine; }

    std::string markers(const std::string& key) const;
    std::size_t number(const std::string& key, std::size_t fallback, std::size_t low, std::size_t high) const;

private:
    void collect(const std::string& text);

    std::string m_file;
    std::map<std::string, Entry> m_entries;
    int m_sectionLine = 0;
};

const char* const kKeys[] = {"起始", "结束", "长度", "最大长度", "模式", "重量", "小数位", "比例",
                             "单位", "符号", "负号", "状态",     "稳定", "超载", "欠载"};

void Definition::collect(const std::string& text) {
    std::istringstream in(text);
    std::string raw;
    bool inSection = false;
    for (int line = 1; std::getline(in, raw); ++line) {
        const std::string content = trimmed(raw);
        if (content.empty() || content[0] == ';' || content[0] == '#') {
            continue;
        }
        if (content.front() == '[') {
            inSection = content == "[格式]";
            m_sectionLine = inSection ? line : m_sectionLine;
            continue;
        }
        if (!inSection) {
            fail(line, "不在 [格式] 节内：" + content);
        }
        const auto equals = content.find('=');
        if (equals == std::string::npos) {
            fail(line, "应为“键=值”：" + content);
        }
        const std::string key = trimmed(content.substr(0, equals));
        if (std::find(std::begin(kKeys), std::end(kKeys), key) == std::end(kKeys)) {
            fail(line, "未知的键“" + key + "”");
        }
        if (m_entries.count(key) != 0) {
            fail(line, "键“" + key + "”重复");
        }
        m_entries[key] = Entry{trimmed(content.substr(equals + 1)), line};
    }
    if (m_sectionLine == 0) {
        fail(1, "缺少 [格式] 节");
    }
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string Definition::markers(const std::string& key) const {
    const Entry* entry = get(key);
    if (entry == nullptr) {
        return {};
    }
    static const std::map<std::string, char> kNames{{"<STX>", 2}, {"<ETX>", 3}, {"<CR>", 13}, {"<LF>", 10}};
    const std::string& v = entry->value;
    std::string bytes;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '<') {
            const auto close = v.find('>', i);
            const auto name = close == std::string::npos ? kNames.end() : kNames.find(v.substr(i, close - i + 1));
            if (name == kNames.end()) {
                fail(entry->line, "无法识别的标记“" + v.substr(i) + "”");
            }
            bytes += name->second;
            i = close;
        } else if (v[i] == '\\' && i + 1 < v.size()) {
            const char c = v[++i];
            if (c == 'x' && i + 2 < v.size() && hexDigit(v[i + 1]) >= 0 && hexDigit(v[i + 2]) >= 0) {
                bytes += static_cast<char>(hexDigit(v[i + 1]) * 16 + hexDigit(v[i + 2]));
                i += 2;
            } else if (c == 'r' || c == 'n' || c == 't' || c == '\\') {
                bytes += c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : '\\';
            } else {
                fail(entry->line, "无法识别的转义“\\" + std::string(1, c) + "”");
            }
        } else {
            bytes += v[i];
        }
    }
    return bytes;
}

std::size_t Definition::number(const std::string& key, std::size_t fallback, std::size_t low, std::size_t high) const {
    const Entry* entry = get(key);
    if (entry == nullptr) {
        return fallback;
    }
    std::size_t used = 0;
    unsigned long value = 0;
    try {
        value = std::stoul(entry->value, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != entry->value.size() || value < low || value > high) {
        fail(entry->line, key + "应为 " + std::to_string(low) + " 到 " + std::to_string(high) + " 的整数");
    }
    return value;
}

UserFormat::Field parseField(const Definition& definition, const Entry& entry, const std::string& key,
                             std::size_t groups, std::size_t longest) {
    UserFormat::Field field;
    const std::string& v = entry.value;
    if (!v.empty() && v[0] == '$') {
        field.group = std::strtoul(v.c_str() + 1, nullptr, 10);
        if (field.group == 0 || field.group > groups || v.find_first_not_of("0123456789", 1) != std::string::npos) {
            definition.fail(entry.line, key + "“" + v + "”不是模式中的分组");
        }
        return field;
    }
    char comma = 0;
    std::istringstream in(v);
    if (!(in >> field.position >> comma >> field.length) || comma != ',' || !in.eof() || field.position == 0 ||
        field.length == 0 || field.position + field.length - 1 > longest) {
        definition.fail(entry.line, key + "应为“位置,长度”，且在帧的长度 " + std::to_string(longest) + " 之内");
    }
    return field;
}

} // namespace

namespace {

FrameShape shapeOf(const Definition& definition) {
    FrameShape shape;
    shape.start = definition.markers("起始");
    shape.end = definition.markers("结束");
    shape.length = definition.number("长度", 0, 1, kLongestFrame);
    shape.maxLength = shape.length != 0 ? shape.length : definition.number("最大长度", 64, 1, kLongestFrame);
    if (shape.end.empty() && shape.length == 0) {
        definition.fail(definition.sectionLine(), "需要“结束”或“长度”之一，才能分出一帧");
    }
    if (shape.start.size() + shape.end.size() > shape.maxLength) {
        definition.fail(definition.get("长度") ? definition.get("长度")->line : definition.sectionLine(),
                        "起始和结束标记比帧还长");
    }
    return shape;
}

std::optional<std::regex> patternOf(const Definition& definition) {
    const Entry* pattern = definition.get("模式");
    if (pattern == nullptr) {
        return std::nullopt;
    }
    try {
        return std::regex(pattern->value, std::regex::ECMAScript | std::regex::optimize);
    } catch (const std::regex_error& error) {
        definition.fail(pattern->line, std::string("模式不是有效的正则表达式：") + error.what());
    }
}

double scaleOf(const Definition& definition) {
    const Entry* scale = definition.get("比例");
    if (scale == nullptr) {
        return 1.0;
    }
    char* end = nullptr;
    const double value = std::strtod(scale->value.c_str(), &end);
    if (scale->value.empty() || *end != '\0' || !std::isfinite(value) || value <= 0) {
        definition.fail(scale->line, "比例应为正数");
    }
    return value;
}

// The characters of a set key; the field they are looked for in must be given too.
std::string characters(const Definition& definition, const std::string& key, const std::string& fieldKey,
                       bool hasField) {
    const Entry* entry = definition.get(key);
    if (entry != nullptr && !hasField) {
        definition.fail(entry->line, key + "需要同时给出“" + fieldKey + "”字段");
    }
    return entry == nullptr ? std::string() : entry->value;
}

} // namespace

UserFormat UserFormat::parse(const std::string& text, const std::string& fileName) {
    const Definition definition(text, fileName);
    UserFormat format;
    format.m_shape = shapeOf(definition);
    format.m_pattern = patternOf(definition);
    const std::size_t groups = format.m_pattern ? format.m_pattern->mark_count() : 0;
    const Entry* weight = definition.get("重量");
    if (weight == nullptr) {
        definition.fail(definition.sectionLine(), "缺少“重量”字段");
    }
    format.m_weight = parseField(definition, *weight, "重量", groups, format.m_shape.maxLength);
    for (auto [key, target] : {std::pair{"符号", &format.m_sign}, std::pair{"状态", &format.m_state}}) {
        if (const Entry* entry = definition.get(key)) {
            *target = parseField(definition, *entry, key, groups, format.m_shape.maxLength);
        }
    }
    format.m_decimals = static_cast<int>(definition.number("小数位", 0, 0, 6));
    format.m_scale = scaleOf(definition);
    if (const Entry* unit = definition.get("单位")) {
        if (!readUnit(unit->value, format.m_unit) || format.m_unit == MassUnit::Unknown) {
            definition.fail(unit->line, "单位应为 kg、g 或 lb");
        }
    }
    format.m_negative = characters(definition, "负号", "符号", format.m_sign.has_value());
    format.m_stable = characters(definition, "稳定", "状态", format.m_state.has_value());
    format.m_overload = characters(definition, "超载", "状态", format.m_state.has_value());
    format.m_underload = characters(definition, "欠载", "状态", format.m_state.has_value());
    return format;
}

std::string_view UserFormat::field(const Field& field, std::string_view frame, const std::cmatch* match) const {
    if (field.group != 0) {
        const auto& group = (*match)[static_cast<int>(field.group)];
        return {group.first, static_cast<std::size_t>(group.length())};
    }
    return frame.substr(field.position - 1, field.length);
}

const char* UserFormat::read(std::string_view frame, IndicatorReading& reading) const {
    std::cmatch match;
    if (m_pattern && !std::regex_match(frame.data(), frame.data() + frame.size(), match, *m_pattern)) {
        return "pattern";
    }
    for (const Field* f : {&m_weight, m_sign ? &*m_sign : nullptr, m_state ? &*m_state : nullptr}) {
        if (f != nullptr && f->group == 0 && f->position + f->length - 1 > frame.size()) {
            return "length";
        }
    }
    const auto has = [](std::string_view text, const std::string& set) {
        return !set.empty() && text.find_first_of(set) != std::string_view::npos;
    };
    const std::string_view state = m_state ? field(*m_state, frame, &match) : std::string_view{};
    const bool negative = m_sign && has(field(*m_sign, frame, &match), m_negative);
    reading.unit = m_unit;
    reading.net = false;
    reading.stable = m_stable.empty() ? std::nullopt : std::optional<bool>(has(state, m_stable));
    if (has(state, m_overload) || has(state, m_underload)) {
        reading.state = has(state, m_overload) ? ReadingState::Overload : ReadingState::Underload;
        reading.value = 0.0;
        return nullptr;
    }
    double value = 0.0;
    int decimals = 0;
    if (!readDecimal(field(m_weight, frame, &match), value, decimals)) {
        return "weight";
    }
    const int shift = decimals == 0 ? m_decimals : 0;
    reading.value = value / powerOfTen(shift) * m_scale * (negative ? -1.0 : 1.0);
    reading.division = m_scale / powerOfTen(decimals + shift);
    reading.state = ReadingState::Weight;
    return nullptr;
}

} // namespace kelvora
