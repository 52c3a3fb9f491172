#pragma once

#include "station/StationScript.h"
#include "station/TraceWriter.h"
#include "weighing/ErrorPath.h"
#include "station/StationRuntime.h"
#include "weighing/StationHost.h"
#include "weighing/WeighingCore.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <ostream>
#include <string>

namespace kelvora {

/// A station without a window: it keeps the controls' texts, the lamps, the buttons and the timers' states
/// itself, drives a WeighingCore, and writes what happens as a trace, one JSON object per line:
/// Edit1/Edit2/Edit3 texts, Shape1/Shape2 colours, records, 17-byte frame hand-overs, errors as the
/// standard error box shows them, message boxes, timer and port changes and configuration writes, each
/// with "t", the time in ms from the subclass's clock.
///
/// Subclasses supply the clock, the scheduling of the timers and of the core's wake-ups, and the port.
class TraceHost : public StationHost, public ErrorBox {
public:
    explicit TraceHost(std::ostream& out);

    WeighingCore& core() { return m_core; }
    /// The station this host shows: its core, its settings and its records.
    StationRuntime& runtime() { return m_runtime; }

    /// Runs one event's handler through the station's error path (runHandler): an error ends the event and
    /// is traced with the error box's text.
    void dispatch(const std::function<void()>& handler);
    /// Applies one script command as one event (a chunk as a received chunk, a click as pressing the
    /// button; a disabled button does nothing).
    void apply(const ScriptCommand& command);
    /// A due timer: its handler, run as one event.
    void fireTimer(Timer timer);
    /// The time the core asked to be woken has come: its Wake, run as one event.
    void wake();
    /// Shows an error message in the standard error box, here the trace's "error" line.
    void reportError(const std::string& message);
    /// ErrorBox: the "error" line with the box's text.
    void showError(const std::string& text) override;
    /// The trace's writer, for hosts that add lines of their own.
    TraceWriter& trace() { return m_trace; }

    bool buttonEnabled(Button button) const { return m_buttons[static_cast<std::size_t>(button)]; }
    bool timerEnabled(Timer timer) const { return m_timerEnabled[static_cast<std::size_t>(timer)]; }
    int timerInterval(Timer timer) const { return m_timerInterval[static_cast<std::size_t>(timer)]; }
    LampColor lampColor(Lamp lamp) const { return m_lamps[static_cast<std::size_t>(lamp)]; }

    // StationHost
    std::string text(Control control) const override;
    void setText(Control control, const std::string& text) override;
    void setLampColor(Lamp lamp, LampColor color) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setTimerEnabled(Timer timer, bool enabled) override;
    void setTimerInterval(Timer timer, int milliseconds) override;
    bool writeData(const std::uint8_t* data, std::uint16_t length) override;
    bool writeRequest(const std::uint8_t* data, std::uint16_t length) override { return portWrite(data, length); }
    void openPort() override;
    void closePort() override;
    void showMessage(const std::string& title, const std::string& text) override;
    void recordResult(const std::string& verdict) override;
    void productOver() override;
    void saveProductCount(std::int32_t count) override;
    std::int64_t clock() const override { return now(); }
    void wakeAt(std::optional<std::int64_t> time) override { wakeChanged(time); }
    void glitch(std::size_t readings) override;
    void indicatorSilent(bool silent) override;
    void zeroed(double oldOffset, double newOffset) override;
    void badFrame(const std::string& reason) override;

protected:
    /// Milliseconds on the trace's clock.
    virtual std::int64_t now() const = 0;
    /// A timer was enabled (schedule it interval ms from now; never when the interval is 0) or disabled
    /// (cancel it).
    virtual void timerChanged(Timer timer, bool enabled, int interval) = 0;
    /// The core's wake-up is wanted at time (replacing the earlier one), or no more.
    virtual void wakeChanged(std::optional<std::int64_t> time) = 0;
    virtual bool portIsOpen() const = 0;
    /// Opens the port; throws with the port's message.
    virtual void portOpen() = 0;
    virtual void portClose() = 0;
    /// Queues bytes on the open port; false when closed.
    virtual bool portWrite(const std::uint8_t* data, std::uint16_t length) = 0;
    /// A whole 17-byte frame was handed over (sent: the port was open). The default does nothing more.
    virtual void frameHandedOver(bool sent);
    /// Writes one configuration key; throws when it cannot. The default keeps the file as it is.
    virtual void writeProfileKey(const std::string& section, const std::string& key, const std::string& value);

private:
    TraceWriter m_trace;
    StationRuntime m_runtime;
    WeighingCore& m_core = m_runtime.core();
    std::map<Control, std::string> m_texts;
    std::array<LampColor, 2> m_lamps{LampColor::Lime, LampColor::Lime};
    std::array<bool, 4> m_buttons{true, true, true, true};
    std::array<bool, 2> m_timerEnabled{false, false};
    std::array<int, 2> m_timerInterval{0, 0};

};

} // namespace kelvora
