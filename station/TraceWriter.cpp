#include "station/TraceWriter.h"

#include "station/StationScript.h"
#include "weighing/NumberText.h"

#include <algorithm>
#include <utility>

namespace kelvora {

namespace {

constexpr std::size_t kFrameLength = 17;

} // namespace

TraceWriter::TraceWriter(std::ostream& out, Clock clock) : m_out(out), m_clock(std::move(clock)) {}

TraceWriter::Line::Line(TraceWriter& writer, std::string_view event) : m_out(writer.m_out) {
    // A clock restarted under the writer (the script's start) never takes the trace back in time.
    writer.m_last = std::max(writer.m_last, writer.now());
    m_text = "{\"t\":" + std::to_string(writer.m_last) + ",\"ev\":\"";
    m_text += escape(event);
    m_text += '"';
}

void TraceWriter::glitch(std::size_t readings) {
    line("glitch").add("readings", static_cast<std::int64_t>(readings));
}

void TraceWriter::indicatorSilent(bool silent) {
    line("silent").add("on", silent);
}

void TraceWriter::badFrame(const std::string& reason) {
    line("badframe").add("reason", reason);
}

void TraceWriter::zeroed(double oldOffset, double newOffset) {
    line("zero").add("old", NumberText::formatWeight(oldOffset)).add("new", NumberText::formatWeight(newOffset));
}

TraceWriter::Line::~Line() {
    m_text += "}\n";
    m_out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
    m_out.flush(); // a live trace is read as it happens
}

TraceWriter::Line& TraceWriter::Line::add(const char* key, std::string_view value) {
    m_text += ",\"";
    m_text += key;
    m_text += "\":\"";
    m_text += escape(value);
    m_text += '"';
    return *this;
}

TraceWriter::Line& TraceWriter::Line::add(const char* key, std::int64_t value) {
    return addRaw(key, std::to_string(value));
}

TraceWriter::Line& TraceWriter::Line::add(const char* key, bool value) {
    return addRaw(key, value ? "true" : "false");
}

TraceWriter::Line& TraceWriter::Line::addRaw(const char* key, std::string_view json) {
    m_text += ",\"";
    m_text += key;
    m_text += "\":";
    m_text += json;
    return *this;
}

std::string TraceWriter::escape(std::string_view text) {
    static const char digits[] = "0123456789abcdef";
    std::string escaped;
    escaped.reserve(text.size());
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            escaped += '\\';
            escaped += c;
        } else if (byte < 0x20) {
            escaped += "\\u00";
            escaped += digits[byte >> 4];
            escaped += digits[byte & 0x0F];
        } else {
            escaped += c;
        }
    }
    return escaped;
}

bool TraceWriter::frameBytes(const std::uint8_t* data, std::uint16_t length, bool sent) {
    if (m_frame.empty()) {
        m_frameSent = sent;
    }
    m_frame.append(reinterpret_cast<const char*>(data), length);
    bool completed = false;
    while (m_frame.size() >= kFrameLength) {
        line("frame")
            .add("flags", static_cast<std::int64_t>(m_frame[8] - '0'))
            .add("hex", StationScript::toHex(m_frame.substr(0, kFrameLength)))
            .add("sent", m_frameSent);
        m_frame.erase(0, kFrameLength);
        m_lastFrameSent = m_frameSent;
        m_frameSent = sent;
        completed = true;
    }
    return completed;
}

} // namespace kelvora
