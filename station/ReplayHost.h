#pragma once

#include "station/StationScript.h"
#include "station/TraceHost.h"
#include "station/VirtualTimers.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <string>

namespace kelvora {

/// What a replay counted, for its summary.
struct ReplaySummary {
    std::int64_t chunks = 0;
    std::map<std::string, std::int64_t> verdicts; ///< records by verdict text
    std::int64_t framesSent = 0;                  ///< 17-byte hand-overs while the port was open
    std::int64_t framesDropped = 0;               ///< hand-overs while the port was closed
    std::int64_t glitches = 0;                    ///< runs of readings that were no product
    std::int64_t errors = 0;
    std::int64_t endTime = 0;
};

/// The station on a virtual clock and a virtual port. Each script line is handled at max(its time, now);
/// an enabled timer falls due interval ms after it was enabled, and the core's wake-up (an output frame's
/// copy, the indicator's silence) at the time it asked for; each is handled like a line at its due time.
/// At equal times the core's wake-up goes first, then a line, then the timers, of two timers the one
/// enabled first. After the close line the output frames still planned go out on their time.
class ReplayHost : public TraceHost {
public:
    explicit ReplayHost(std::ostream& out) : TraceHost(out) {}

    /// Handles the script to its end (or its close line), then the timers still due.
    /// Throws ScriptError for a bad line; what came before it has been handled.
    void run(StationScript& script);

    const ReplaySummary& summary() const { return m_summary; }
    /// The virtual clock, ms from the start.
    std::int64_t virtualTime() const { return m_now; }

    void recordResult(const std::string& verdict) override;
    void showError(const std::string& text) override;
    void glitch(std::size_t readings) override;

protected:
    std::int64_t now() const override { return m_now; }
    void timerChanged(Timer timer, bool enabled, int interval) override;
    void wakeChanged(std::optional<std::int64_t> time) override { m_timers.setWake(time); }
    bool portIsOpen() const override { return m_portOpen; }
    void portOpen() override;
    void portClose() override { m_portOpen = false; }
    bool portWrite(const std::uint8_t*, std::uint16_t) override { return m_portOpen; }
    void frameHandedOver(bool sent) override { ++(sent ? m_summary.framesSent : m_summary.framesDropped); }

private:
    /// Handles the wake-ups due at or before limit and the timers due before it, earliest first.
    void fireDueBefore(std::int64_t limit);
    /// The output frames still planned at the close, each at its time.
    void finishOutput();

    std::int64_t m_now = 0;
    VirtualTimers m_timers;
    bool m_portOpen = false;
    ReplaySummary m_summary;
};

} // namespace kelvora
