#include "station/SessionRecorder.h"

#include <charconv>

namespace kelvora {

namespace {

// The shortest text that reads back as the same double.
std::string numberText(double value) {
    char text[40];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

} // namespace

std::string SessionRecorder::line(std::int64_t time, const ScriptCommand& command) {
    std::string text = std::to_string(time);
    switch (command.verb) {
    case ScriptVerb::Chunk:
        return text + " chunk " + StationScript::toHex(command.bytes);
    case ScriptVerb::Set:
        return text + " set " + controlName(command.control) + " " + command.text;
    case ScriptVerb::Select:
        return text + " select " + command.text + " " + numberText(command.standard) + " " + numberText(command.upper) +
               " " + numberText(command.lower);
    case ScriptVerb::Click:
        return text + " click " + command.text;
    case ScriptVerb::Close:
        return text + " close";
    }
    return text;
}

void SessionRecorder::record(std::int64_t time, const ScriptCommand& command) {
    if (m_out != nullptr) {
        *m_out << line(time, command) << '\n';
        m_out->flush();
    }
}

void SessionRecorder::comment(const std::string& text) {
    if (m_out != nullptr) {
        *m_out << "# " << text << '\n';
        m_out->flush();
    }
}

} // namespace kelvora
