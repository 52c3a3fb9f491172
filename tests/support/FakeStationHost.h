#pragma once

#include "weighing/StationHost.h"
#include "weighing/WeighingCore.h"

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::test {

/// A station host that remembers everything the core did to it. `events` lists the calls that are seen
/// from outside, in order: "Edit2=15.000", "Shape1=red", "Timer2=on", "record 正常", "frame 5",
/// "message 提示: ...", "port open", "port closed", "productOver", "count 7", "glitch 2", "silent on",
/// "zero 0.000 0.080", "badframe checksum". Its clock stands still until advance() moves it.
class FakeStationHost : public StationHost {
public:
    FakeStationHost();

    std::map<Control, std::string> texts;
    std::array<LampColor, 2> lamps{LampColor::Lime, LampColor::Lime};
    std::array<bool, 4> buttons{true, true, true, true};
    std::array<bool, 2> timers{false, false};
    std::array<int, 2> intervals{1000, 1000};
    bool portOpen = false;
    bool failOpen = false;                ///< openPort throws
    bool failSaveCount = false;           ///< saveProductCount throws
    std::int64_t now = 0;                 ///< the clock, ms
    std::optional<std::int64_t> wake;     ///< the core's wake-up asked for
    std::string written;                  ///< bytes handed to writeData while the port was open
    std::vector<std::string> frames;      ///< each 17-byte hand-over, open or not
    std::vector<std::int64_t> frameTimes; ///< the clock at each of them
    std::vector<std::string> records;
    std::vector<std::string> events;

    /// The flags digits of the frames handed over, e.g. "1100" for two sends with 1 then two with 0 —
    /// one digit per SendSignalFrame (each sends its frame twice).
    std::string sentFlags() const;
    bool timerOn(Timer timer) const { return timers[static_cast<std::size_t>(timer)]; }
    bool buttonOn(Button button) const { return buttons[static_cast<std::size_t>(button)]; }
    LampColor lamp(Lamp lamp) const { return lamps[static_cast<std::size_t>(lamp)]; }
    /// Moves the clock to time, waking the core at each time it asked for on the way.
    void advance(WeighingCore& core, std::int64_t time);
    /// Moves the clock on until the core's output frames have all been handed over.
    void drain(WeighingCore& core);

    std::string text(Control control) const override;
    void setText(Control control, const std::string& text) override;
    void setLampColor(Lamp lamp, LampColor color) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setTimerEnabled(Timer timer, bool enabled) override;
    void setTimerInterval(Timer timer, int milliseconds) override;
    std::int64_t clock() const override { return now; }
    void wakeAt(std::optional<std::int64_t> time) override { wake = time; }
    bool writeData(const std::uint8_t* data, std::uint16_t length) override;
    void openPort() override;
    void closePort() override;
    void showMessage(const std::string& title, const std::string& text) override;
    void recordResult(const std::string& verdict) override;
    void productOver() override;
    void saveProductCount(std::int32_t count) override;
    void glitch(std::size_t readings) override;
    void indicatorSilent(bool silent) override;
    void zeroed(double oldOffset, double newOffset) override;
    void badFrame(const std::string& reason) override;

private:
    std::string m_pending;
};

} // namespace kelvora::test
