#pragma once

#include <cstdint>
#include <optional>

namespace kelvora {

/// When a polled indicator is asked for its next reading. The requests share the line with the output
/// frames, whose timing is the rejector's: a request never goes out within kGuardMs before an output copy
/// is due (it would hold the copy back by its own time on the line) but right after that copy instead.
/// Times are milliseconds on the owner's clock.
class PollSchedule {
public:
    /// Longer than a four-byte request takes at 1200 baud.
    static constexpr std::int64_t kGuardMs = 40;

    /// Requests from now on, one every intervalMs (0: none).
    void start(std::int64_t now, std::int64_t intervalMs);
    void stop() { m_next.reset(); }

    /// Whether a request goes out at now, given when the next output copy is due; moves the schedule on.
    bool due(std::int64_t now, std::optional<std::int64_t> nextOutput);
    /// When the next request is due; nothing when stopped.
    std::optional<std::int64_t> next() const { return m_next; }

private:
    std::optional<std::int64_t> m_next;
    std::int64_t m_interval = 0;
};

} // namespace kelvora
