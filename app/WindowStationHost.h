#pragma once

#include "feed/StationPublisher.h"
#include "station/StationRuntime.h"
#include "station/TraceWriter.h"
#include "station/VirtualTimers.h"
#include "weighing/ProductRecorder.h"
#include "weighing/StationHost.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>

class QWidget;

namespace kelvora {

class TComm;
class TForm1;

/// The weighing core's surroundings in the station window: texts in the form's edits and model box,
/// lamps as the form's shapes, run buttons as its tool buttons, Timer1/Timer2 as one-shot window timers,
/// the output frame through Comm1, the core's wake-ups on a precise single-shot timer. Nothing blocks the
/// main thread: readings, timers and clicks are handled as they arrive.
///
/// With a virtual clock (script mode) time moves only with the script, and the timers and wake-ups fall
/// due on that clock as in the replay; with a virtual port, opening succeeds and nothing reaches a
/// device. With a trace, the replay's trace lines are written as the window changes.
class WindowStationHost : public StationHost {
public:
    explicit WindowStationHost(TForm1& form);
    ~WindowStationHost() override;

    /// Writes the trace lines to trace from now on (nullptr: none); its clock should be now().
    void setTrace(TraceWriter* trace) { m_trace = trace; }
    TraceWriter* trace() { return m_trace; }
    void setVirtualClock(bool on) { m_virtualClock = on; }
    bool virtualClock() const { return m_virtualClock; }
    void setVirtualPort(bool on) { m_virtualPort = on; }
    /// Starts the real clock: times are milliseconds since this call.
    void startClock() { m_started.start(); }
    /// Milliseconds on the host's clock.
    std::int64_t now() const;

    /// Virtual clock: handles the wake-ups due at or before limit and fires the timers due before it,
    /// earliest first (a wake-up before a timer, of equal timers the one enabled first), moving the clock
    /// to each; then the clock moves on to limit if it is later.
    void advanceTo(std::int64_t limit);
    /// Virtual clock: fires every timer still due (a timer that keeps re-arming ends after maxTime).
    void runDueTimers(std::int64_t maxTime);
    bool timerEnabled(Timer timer) const { return m_timerEnabled[index(timer)]; }

    /// Stores each judged product from now on through the station's journal in the main database (a row
    /// the journal cannot take shows in the standard error box and waits in memory).
    void startRecording();
    /// The station's records at the close (StationRuntime::finishRecording); throws DatabaseError when
    /// rows the journal could not take cannot be written to unsaved-records.csv either.
    StationRuntime::FinishReport finishRecording(int waitMs);

    /// Waits, at most timeoutMs, until the output frames still planned are handed over and the writer has
    /// put everything queued on the line.
    void drainPort(int timeoutMs);

    // StationHost
    std::string text(Control control) const override;
    void setText(Control control, const std::string& text) override;
    void setLampColor(Lamp lamp, LampColor color) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setTimerEnabled(Timer timer, bool enabled) override;
    void setTimerInterval(Timer timer, int milliseconds) override;
    bool writeData(const std::uint8_t* data, std::uint16_t length) override;
    /// Straight to the port: neither the trace's frames nor the checks see it.
    bool writeRequest(const std::uint8_t* data, std::uint16_t length) override;
    void openPort() override;
    void closePort() override;
    void showMessage(const std::string& title, const std::string& text) override;
    void recordResult(const std::string& verdict) override;
    void productOver() override;
    void saveProductCount(std::int32_t count) override;
    std::int64_t clock() const override { return now(); }
    void wakeAt(std::optional<std::int64_t> time) override;
    void glitch(std::size_t readings) override;
    void indicatorSilent(bool silent) override;
    void zeroed(double oldOffset, double newOffset) override;
    /// Traced, and counted in the status bar's tooltip.
    void badFrame(const std::string& reason) override;

private:
    static std::size_t index(Timer timer) { return static_cast<std::size_t>(timer); }
    bool portIsOpen() const;
    void fire(Timer timer);
    void wake();
    QWidget* widgetFor(Control control) const;
    /// The local time a verdict is stored with.
    QDateTime recordTime() const;

    TForm1& m_form;
    TraceWriter* m_trace = nullptr;
    bool m_virtualClock = false;
    bool m_virtualPort = false;
    bool m_virtualPortOpen = false;
    QElapsedTimer m_started;
    std::int64_t m_now = 0;                            // virtual clock
    QDateTime m_origin = QDateTime::currentDateTime(); // the virtual clock's 0
    std::array<QTimer, 2> m_timers;
    std::array<bool, 2> m_timerEnabled{false, false};
    std::array<int, 2> m_timerInterval{0, 0};
    VirtualTimers m_due; // the timers and the core's wake-up on the virtual clock
    QTimer m_wakeTimer;  // the core's wake-up on the real clock
    bool m_writerIdle = true;
    std::uint64_t m_badFrames = 0;
    std::unique_ptr<StationPublisher> m_publisher; // the live feed over MQTT, when [MQTT] Host is set

};

} // namespace kelvora
