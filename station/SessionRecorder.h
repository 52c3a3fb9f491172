#pragma once

#include "station/StationScript.h"

#include <cstdint>
#include <ostream>
#include <string>

namespace kelvora {

/// Writes what a live station did as a station script, one line per event with its time in ms, each line
/// flushed at once: received chunks as `T chunk HEX`, and the operator's commands (set, select, click,
/// close) as they were applied. Replaying the script runs the weighing core through the same events in
/// the same order. Writes nothing without a stream.
class SessionRecorder {
public:
    explicit SessionRecorder(std::ostream* out) : m_out(out) {}

    void record(std::int64_t time, const ScriptCommand& command);
    /// A comment line ("# " and the text), which a replay skips.
    void comment(const std::string& text);
    /// The script line for a command at the given time.
    static std::string line(std::int64_t time, const ScriptCommand& command);

private:
    std::ostream* m_out;
};

} // namespace kelvora
