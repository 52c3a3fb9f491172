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
    std::int64_t errors = 0;
    std::int64_t endTime = 0;
};

/// The station on a virtual clock and a virtual port. Each script line is handled at max(its time, now);
/// the 200 ms pauses advance the clock; an enabled timer falls due interval ms after it was enabled and
/// is handled like a line at its due time. At equal times a line goes before a timer, and of two timers
/// the one enabled first goes first.
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
    void pause(int milliseconds) override { m_now += milliseconds; }
    void showError(const std::string& text) override;

protected:
    std::int64_t now() const override { return m_now; }
    void timerChanged(Timer timer, bool enabled, int interval) override;
    bool portIsOpen() const override { return m_portOpen; }
    void portOpen() override;
    void portClose() override { m_portOpen = false; }
    bool portWrite(const std::uint8_t*, std::uint16_t) override { return m_portOpen; }
    void frameHandedOver(bool sent) override { ++(sent ? m_summary.framesSent : m_summary.framesDropped); }

private:
    /// Fires the timers that fall due before `limit`, earliest first.
    void fireTimersBefore(std::int64_t limit);

    std::int64_t m_now = 0;
    VirtualTimers m_timers;
    bool m_portOpen = false;
    ReplaySummary m_summary;
};

} // namespace kelvora
