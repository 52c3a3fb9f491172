#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace kelvora {

/// Writes the station's trace: one JSON object per line, each starting with "t" (ms on the writer's
/// clock, never less than the line before) and "ev" (the event's name), followed by its fields in the
/// order they are added. Each line is flushed as it is written. The windowless
/// hosts and the station window write the same lines through it.
class TraceWriter {
public:
    using Clock = std::function<std::int64_t()>;
    TraceWriter(std::ostream& out, Clock clock);

    /// One trace object, written as a single line when it goes out of scope.
    class Line {
    public:
        Line(TraceWriter& writer, std::string_view event);
        ~Line();
        Line(const Line&) = delete;
        Line& operator=(const Line&) = delete;

        Line& add(const char* key, std::string_view value);
        Line& add(const char* key, const char* value) { return add(key, std::string_view(value)); }
        Line& add(const char* key, const std::string& value) { return add(key, std::string_view(value)); }
        Line& add(const char* key, std::int64_t value);
        Line& add(const char* key, bool value);
        /// A field whose value is already JSON (an array or an object).
        Line& addRaw(const char* key, std::string_view json);

    private:
        std::ostream& m_out;
        std::string m_text;
    };

    Line line(std::string_view event) { return Line(*this, event); }
    std::int64_t now() const { return m_clock(); }

    /// Collects the bytes of the core's one-byte-at-a-time frame hand-overs and traces each complete
    /// 17-byte frame once as a "frame" line (flags, hex, sent: whether the port was open at its first
    /// byte). Returns true when this call completed a frame.
    bool frameBytes(const std::uint8_t* data, std::uint16_t length, bool sent);
    /// The lines of the weighing core's own events: a run that was no product, the indicator falling silent
    /// or speaking again, a Zero (the offsets as "0.000").
    void glitch(std::size_t readings);
    void indicatorSilent(bool silent);
    void zeroed(double oldOffset, double newOffset);
    /// A frame the checked decoding refused, and why.
    void badFrame(const std::string& reason);

    /// Whether the frame completed last was sent.
    bool lastFrameSent() const { return m_lastFrameSent; }

    /// JSON string contents for text (quotes, backslashes and control characters escaped).
    static std::string escape(std::string_view text);

private:
    std::ostream& m_out;
    Clock m_clock;
    std::int64_t m_last = 0;
    std::string m_frame;
    bool m_frameSent = false;
    bool m_lastFrameSent = false;
};

} // namespace kelvora
