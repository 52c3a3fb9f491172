#include "station/StationScript.h"

#include "weighing/NumberText.h"

#include <array>
#include <charconv>
#include <vector>

namespace kelvora {

namespace {

[[noreturn]] void fail(int lineNumber, const std::string& why) {
    throw ScriptError("line " + std::to_string(lineNumber) + ": " + why);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// Splits off the next blank-separated word; rest starts right after the single blank that ends it.
std::string_view nextWord(std::string_view& rest) {
    std::size_t begin = 0;
    while (begin < rest.size() && isBlank(rest[begin])) {
        ++begin;
    }
    std::size_t end = begin;
    while (end < rest.size() && !isBlank(rest[end])) {
        ++end;
    }
    std::string_view word = rest.substr(begin, end - begin);
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
    return word;
}

std::string parseHex(std::string_view hex, int lineNumber) {
    std::string bytes;
    for (std::size_t i = 0; i < hex.size();) {
        if (isBlank(hex[i])) {
            ++i;
            continue;
        }
        int high = NumberText::hexDigit(hex[i]);
        int low = i + 1 < hex.size() ? NumberText::hexDigit(hex[i + 1]) : -1;
        if (high < 0 || low < 0) {
            fail(lineNumber, "bad hexadecimal bytes");
        }
        bytes.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    if (bytes.empty() || bytes.size() > 65535) {
        fail(lineNumber, "a chunk holds 1 to 65535 bytes");
    }
    return bytes;
}

Control settableControl(std::string_view name, int lineNumber) {
    static const std::array<Control, 6> settable = {Control::ComboBox1, Control::Et1,          Control::Et2,
                                                    Control::Et3,       Control::LabeledEdit1, Control::LabeledEdit2};
    for (Control control : settable) {
        if (name == controlName(control)) {
            return control;
        }
    }
    fail(lineNumber, "unknown control '" + std::string(name) + "'");
}

void parseSelect(std::string_view rest, ScriptCommand& command) {
    std::vector<std::string_view> words;
    for (std::string_view word = nextWord(rest); !word.empty(); word = nextWord(rest)) {
        words.push_back(word);
    }
    if (words.size() < 4) {
        fail(command.lineNumber, "select needs NAME STD UPPER LOWER");
    }
    std::array<double*, 3> targets = {&command.standard, &command.upper, &command.lower};
    for (std::size_t i = 0; i < 3; ++i) {
        std::optional<double> value = NumberText::parseFloat(words[words.size() - 3 + i]);
        if (!value) {
            fail(command.lineNumber, "select: '" + std::string(words[words.size() - 3 + i]) + "' is not a number");
        }
        *targets[i] = *value;
    }
    // The name is the words before the three numbers, with their blanks as written.
    const char* begin = words.front().data();
    const char* end = words[words.size() - 4].data() + words[words.size() - 4].size();
    command.text.assign(begin, end);
}

const std::array<std::string_view, 6> kClickable = {"BtnClear",   "BtnWordWrap", "BtnSetTabs",
                                                    "BtnBullets", "OpenPort",    "ClosePort"};

} // namespace

ScriptCommand StationScript::parseLine(std::string_view line, int lineNumber) {
    ScriptCommand command;
    command.lineNumber = lineNumber;
    std::string_view rest = line;
    std::string_view time = nextWord(rest);
    auto [end, error] = std::from_chars(time.data(), time.data() + time.size(), command.time);
    if (error != std::errc() || end != time.data() + time.size() || command.time < 0 || command.time > kMaxScriptTime) {
        fail(lineNumber, "bad time '" + std::string(time) + "'");
    }
    std::string_view verb = nextWord(rest);
    if (verb == "chunk") {
        command.verb = ScriptVerb::Chunk;
        command.bytes = parseHex(rest, lineNumber);
    } else if (verb == "set") {
        command.verb = ScriptVerb::Set;
        command.control = settableControl(nextWord(rest), lineNumber);
        command.text = std::string(rest);
    } else if (verb == "select") {
        command.verb = ScriptVerb::Select;
        parseSelect(rest, command);
    } else if (verb == "click") {
        command.verb = ScriptVerb::Click;
        std::string_view button = nextWord(rest);
        bool known = false;
        for (std::string_view name : kClickable) {
            known = known || name == button;
        }
        if (!known || !nextWord(rest).empty()) {
            fail(lineNumber, "unknown button '" + std::string(button) + "'");
        }
        command.text = std::string(button);
    } else if (verb == "close") {
        command.verb = ScriptVerb::Close;
    } else {
        fail(lineNumber, "unknown verb '" + std::string(verb) + "'");
    }
    return command;
}

std::optional<ScriptCommand> StationScript::next() {
    std::string line;
    while (std::getline(m_in, line)) {
        ++m_lineNumber;
        if (m_lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) {
            line.erase(0, 3); // a byte-order mark some editors put first
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        std::size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            continue;
        }
        ScriptCommand command = parseLine(line, m_lineNumber);
        if (command.time < m_lastTime) {
            fail(m_lineNumber, "time " + std::to_string(command.time) + " is before " + std::to_string(m_lastTime));
        }
        m_lastTime = command.time;
        return command;
    }
    return std::nullopt;
}

std::string StationScript::toHex(std::string_view bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string hex;
    hex.reserve(bytes.size() * 2);
    for (char byte : bytes) {
        auto value = static_cast<unsigned char>(byte);
        hex.push_back(digits[value >> 4]);
        hex.push_back(digits[value & 0x0F]);
    }
    return hex;
}

} // namespace kelvora
