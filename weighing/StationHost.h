#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace kelvora {

/// The main window's controls whose texts the weighing core reads and writes. Texts are UTF-8.
enum class Control { Edit1, Edit2, Edit3, Et1, Et2, Et3, ComboBox1, LabeledEdit1, LabeledEdit2 };

/// Shape1 is the tolerance lamp, Shape2 the batch reminder lamp.
enum class Lamp { Shape1, Shape2 };
enum class LampColor { Lime, Red, Yellow };

/// Timer1 is the alarm duration, Timer2 the alarm delay.
enum class Timer { Timer1, Timer2 };

/// The run-control tool buttons: Start, Continue, Stop, Zero.
enum class Button { BtnClear, BtnWordWrap, BtnSetTabs, BtnBullets };

const char* controlName(Control control);
const char* lampName(Lamp lamp);
const char* lampColorName(LampColor color); // "lime", "red", "yellow"
const char* timerName(Timer timer);
const char* buttonName(Button button);

/// Everything the weighing core needs of its surroundings. The station window, the live monitor and the
/// replay each implement it. All calls come from the thread that drives the core (the main thread).
class StationHost {
public:
    virtual ~StationHost() = default;

    virtual std::string text(Control control) const = 0;
    virtual void setText(Control control, const std::string& text) = 0;

    virtual void setLampColor(Lamp lamp, LampColor color) = 0;
    virtual void setButtonEnabled(Button button, bool enabled) = 0;

    /// Window timers driven one-shot by their handlers: enabling an enabled timer does not restart it,
    /// disabling cancels it, and an interval of 0 never fires. A due timer calls the core's Timer1Timer or
    /// Timer2Timer from the event loop.
    virtual void setTimerEnabled(Timer timer, bool enabled) = 0;
    virtual void setTimerInterval(Timer timer, int milliseconds) = 0;

    /// Milliseconds on the host's clock (monotonic; virtual in a replay).
    virtual std::int64_t clock() const = 0;
    /// The core asks to be woken (its Wake, run as one event) once the clock reaches time; a new request
    /// replaces the earlier one and nothing cancels it. Nothing blocks: events are handled as they come.
    virtual void wakeAt(std::optional<std::int64_t> time) = 0;

    /// Queues a copy of the bytes for sending and returns at once; false (and nothing queued) while the
    /// port is closed.
    virtual bool writeData(const std::uint8_t* data, std::uint16_t length) = 0;
    /// A polled indicator's request, on the same line as the output frames but none of them: hosts that
    /// follow the frames (the trace, the checks) do not see it. Like writeData otherwise.
    virtual bool writeRequest(const std::uint8_t* data, std::uint16_t length) { return writeData(data, length); }
    /// Opens the serial port; throws with the port's message when it cannot be opened.
    virtual void openPort() = 0;
    /// Closes the serial port; does nothing when it is not open.
    virtual void closePort() = 0;

    /// A modal message box of the program's own (OK button, no icon).
    virtual void showMessage(const std::string& title, const std::string& text) = 0;

    /// Each verdict ("正常", "超高" or "超低") as it is made; the window holds the model and weight texts.
    virtual void recordResult(const std::string& verdict) = 0;
    /// The product in progress is over: a sample at or below the threshold, Start, Continue, a model
    /// selection or the close. Called whether or not a product was in progress.
    virtual void productOver() = 0;
    /// Saves the product count (at close, at Stop, and after counted products now and then); throws when
    /// the configuration cannot be written.
    virtual void saveProductCount(std::int32_t count) = 0;

    /// A run of readings above the threshold that was no product (too few readings, or cut off by Stop or
    /// a lost line before it had a weight): not judged, only counted.
    virtual void glitch(std::size_t readings) = 0;
    /// The indicator fell silent (no reading for the configured time, or the port failed) or spoke again.
    virtual void indicatorSilent(bool silent) = 0;
    /// Zero took the shown weight into the offset.
    virtual void zeroed(double oldOffset, double newOffset) = 0;
    /// The checked decoding refused a frame (reason: what failed, e.g. "checksum"); it gave no reading.
    virtual void badFrame(const std::string& reason) { (void)reason; }
};

} // namespace kelvora
