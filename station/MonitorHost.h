#pragma once

#include "app/config/StationConfig.h"
#include "comm/TComm.h"
#include "station/SessionRecorder.h"
#include "station/StationScript.h"
#include "station/TraceHost.h"

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include <QElapsedTimer>
#include <QTimer>

namespace kelvora {

/// The live station without a window: the weighing core on a real serial port (Comm1), with real window
/// timers and the core's wake-ups on a precise timer, on the Qt event loop of the main thread. The trace's "t" is ms
/// since construction. Every received chunk and every applied command is recorded before it is handled, so that a
/// replay of the recording goes through the same events.
class MonitorHost : public TraceHost {
public:
    /// trace gets the trace lines; recording (optional) the session as a station script.
    MonitorHost(std::ostream& trace, std::ostream* recording);
    ~MonitorHost() override;

    /// Configures Comm1 as the station does, from the loaded settings, with the port name replaced by
    /// portName.
    void configurePort(const std::string& portName);

    /// Writes a comment line into the recording.
    void recordComment(const std::string& text) { m_recorder.comment(text); }
    /// Applies a command as the operator's (or the script's) event at the current time, recording it first.
    void applyCommand(const ScriptCommand& command);
    /// Opens Comm1 as an event; false (the error traced) when it cannot be opened.
    bool openAtStart();
    /// Lets the output frames still planned go out (at most maxWaitMs), closes Comm1 and hands over what
    /// its threads had already received.
    void finish(int maxWaitMs = 1000);

    /// Milliseconds since construction.
    std::int64_t elapsed() const { return m_clock.elapsed(); }

protected:
    std::int64_t now() const override { return elapsed(); }
    void timerChanged(Timer timer, bool enabled, int interval) override;
    void wakeChanged(std::optional<std::int64_t> time) override;
    bool portIsOpen() const override { return m_comm.ComHandle() != 0; }
    void portOpen() override { m_comm.OpenPort(); }
    void portClose() override { m_comm.ClosePort(); }
    bool portWrite(const std::uint8_t* data, std::uint16_t length) override { return m_comm.WriteData(data, length); }

private:
    void receive(const std::uint8_t* buffer, std::uint16_t length);

    QElapsedTimer m_clock;
    SessionRecorder m_recorder;
    TComm m_comm;
    std::array<std::unique_ptr<QTimer>, 2> m_timers;
    QTimer m_wake;
};

} // namespace kelvora
