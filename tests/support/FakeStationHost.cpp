#include "tests/support/FakeStationHost.h"

#include "weighing/NumberText.h"

#include <algorithm>
#include <stdexcept>

namespace kelvora::test {

FakeStationHost::FakeStationHost() {
    texts[Control::Edit1] = "None";
    texts[Control::Edit2] = "None";
}

std::string FakeStationHost::sentFlags() const {
    std::string flags;
    for (std::size_t i = 0; i < frames.size(); i += 2) {
        flags.push_back(frames[i][8]);
    }
    return flags;
}

std::string FakeStationHost::text(Control control) const {
    auto found = texts.find(control);
    return found == texts.end() ? std::string() : found->second;
}

void FakeStationHost::setText(Control control, const std::string& text) {
    texts[control] = text;
    events.push_back(std::string(controlName(control)) + "=" + text);
}

void FakeStationHost::setLampColor(Lamp lamp, LampColor color) {
    lamps[static_cast<std::size_t>(lamp)] = color;
    events.push_back(std::string(lampName(lamp)) + "=" + lampColorName(color));
}

void FakeStationHost::setButtonEnabled(Button button, bool enabled) {
    buttons[static_cast<std::size_t>(button)] = enabled;
}

void FakeStationHost::setTimerEnabled(Timer timer, bool enabled) {
    if (timers[static_cast<std::size_t>(timer)] != enabled) {
        events.push_back(std::string(timerName(timer)) + (enabled ? "=on" : "=off"));
    }
    timers[static_cast<std::size_t>(timer)] = enabled;
}

void FakeStationHost::setTimerInterval(Timer timer, int milliseconds) {
    intervals[static_cast<std::size_t>(timer)] = milliseconds;
}

void FakeStationHost::advance(WeighingCore& core, std::int64_t time) {
    while (wake && *wake <= time) {
        now = std::max(now, *wake);
        wake.reset();
        core.Wake();
    }
    now = std::max(now, time);
}

void FakeStationHost::drain(WeighingCore& core) {
    while (core.outputPending() && wake) {
        advance(core, *wake);
    }
}

bool FakeStationHost::writeData(const std::uint8_t* data, std::uint16_t length) {
    m_pending.append(reinterpret_cast<const char*>(data), length);
    if (m_pending.size() >= 17) {
        frames.push_back(m_pending.substr(0, 17));
        frameTimes.push_back(now);
        events.push_back(std::string("frame ") + m_pending[8]);
        m_pending.erase(0, 17);
    }
    if (!portOpen) {
        return false;
    }
    written.append(reinterpret_cast<const char*>(data), length);
    return true;
}

void FakeStationHost::openPort() {
    if (failOpen) {
        throw std::runtime_error("没有打开串口,原因可能是串口被某个程序打开或者不存在");
    }
    portOpen = true;
    events.push_back("port open");
}

void FakeStationHost::closePort() {
    if (portOpen) {
        events.push_back("port closed");
    }
    portOpen = false;
}

void FakeStationHost::showMessage(const std::string& title, const std::string& text) {
    events.push_back("message " + title + ": " + text);
}

void FakeStationHost::recordResult(const std::string& verdict) {
    records.push_back(verdict);
    events.push_back("record " + verdict);
}

void FakeStationHost::productOver() {
    events.push_back("productOver");
}

void FakeStationHost::saveProductCount(std::int32_t count) {
    if (failSaveCount) {
        throw std::runtime_error("Unable to write to /nowhere/Option.ini");
    }
    events.push_back("count " + std::to_string(count));
}

void FakeStationHost::glitch(std::size_t readings) {
    events.push_back("glitch " + std::to_string(readings));
}

void FakeStationHost::indicatorSilent(bool silent) {
    events.push_back(silent ? "silent on" : "silent off");
}

void FakeStationHost::zeroed(double oldOffset, double newOffset) {
    events.push_back("zero " + NumberText::formatWeight(oldOffset) + " " + NumberText::formatWeight(newOffset));
}

void FakeStationHost::badFrame(const std::string& reason) {
    events.push_back("badframe " + reason);
}

} // namespace kelvora::test
