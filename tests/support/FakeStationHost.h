#pragma once

#include "weighing/StationHost.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace kelvora::test {

/// A station host that remembers everything the core did to it. `events` lists the calls that are seen
/// from outside, in order: "Edit2=15.000", "Shape1=red", "Timer2=on", "record 正常", "frame 5", "pause 200",
/// "message 提示: ...", "port open", "port closed", "productOver", "count 7".
class FakeStationHost : public StationHost {
public:
    FakeStationHost();

    std::map<Control, std::string> texts;
    std::array<LampColor, 2> lamps{LampColor::Lime, LampColor::Lime};
    std::array<bool, 4> buttons{true, true, true, true};
    std::array<bool, 2> timers{false, false};
    std::array<int, 2> intervals{1000, 1000};
    bool portOpen = false;
    bool failOpen = false;           ///< openPort throws
    bool failSaveCount = false;      ///< saveProductCount throws
    std::string written;             ///< bytes handed to writeData while the port was open
    std::vector<std::string> frames; ///< each 17-byte hand-over, open or not
    std::vector<std::string> records;
    std::vector<std::string> events;

    /// The flags digits of the frames handed over, e.g. "1100" for two sends with 1 then two with 0 —
    /// one digit per SendSignalFrame (each sends its frame twice).
    std::string sentFlags() const;
    bool timerOn(Timer timer) const { return timers[static_cast<std::size_t>(timer)]; }
    bool buttonOn(Button button) const { return buttons[static_cast<std::size_t>(button)]; }
    LampColor lamp(Lamp lamp) const { return lamps[static_cast<std::size_t>(lamp)]; }

    std::string text(Control control) const override;
    void setText(Control control, const std::string& text) override;
    void setLampColor(Lamp lamp, LampColor color) override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setTimerEnabled(Timer timer, bool enabled) override;
    void setTimerInterval(Timer timer, int milliseconds) override;
    void pause(int milliseconds) override;
    bool writeData(const std::uint8_t* data, std::uint16_t length) override;
    void openPort() override;
    void closePort() override;
    void showMessage(const std::string& title, const std::string& text) override;
    void recordResult(const std::string& verdict) override;
    void productOver() override;
    void saveProductCount(std::int32_t count) override;

private:
    std::string m_pending;
};

} // namespace kelvora::test
