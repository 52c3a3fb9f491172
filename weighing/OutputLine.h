#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace kelvora {

/// When the output frames go out. Each send puts its frame on the line twice, kCopySpacingMs apart. A
/// send's first copy is due at once when no copy is waiting, otherwise together with the previous send's
/// second copy, so back-to-back sends keep their spacing on the line.
///
/// The line carries a send every kCopySpacingMs; a station that sends faster must not fall behind it. A
/// send whose first copy would wait more than kBacklogMs takes the place (and the times) of the last send
/// still waiting for its first copy, so the line carries the newer flags and never lags by more than
/// kBacklogMs plus one send; a burst that fits (four sends at an idle line) goes out whole. An alarm's sends
/// (timed for the pack that reaches the rejector) leave at once: they take the place of every copy not yet
/// handed over but those of their own group (the sends of one alarm step), whose flags they carry anyway.
/// Nobody waits for a copy: the owner hands over what is due whenever its clock reaches nextDue(). Times
/// are milliseconds on that clock.
class OutputLine {
public:
    static constexpr std::int64_t kCopySpacingMs = 200;
    static constexpr std::int64_t kBacklogMs = 600;

    /// Plans both copies of frame for a send made at now; alarmGroup (not 0) makes it an alarm's send.
    void send(const std::string& frame, std::int64_t now, std::uint64_t alarmGroup = 0);
    /// The copies due at or before now, oldest first; they leave the plan.
    std::vector<std::string> takeDue(std::int64_t now);
    /// When the next copy is due; nothing when none waits.
    std::optional<std::int64_t> nextDue() const;
    bool idle() const { return m_copies.empty(); }

private:
    struct Copy {
        std::int64_t time;
        std::string bytes;
        bool first;          // the first copy of its send
        std::uint64_t group; // the alarm step it belongs to; 0 for none
    };
    /// Drops every copy not yet handed over but those of group; those close up from now on.
    void dropForAlarm(std::int64_t now, std::uint64_t group);

    std::deque<Copy> m_copies;
};

} // namespace kelvora
