#include "station/TraceHost.h"

#include "weighing/NumberText.h"

namespace kelvora {

TraceHost::TraceHost(std::ostream& out) : m_trace(out, [this] { return now(); }), m_runtime(*this) {
    m_texts[Control::Edit1] = "None";
    m_texts[Control::Edit2] = "None";
    m_texts[Control::Edit3] = "等待中...";
}

void TraceHost::dispatch(const std::function<void()>& handler) {
    runHandler(*this, handler);
}

void TraceHost::apply(const ScriptCommand& command) {
    dispatch([&] {
        switch (command.verb) {
        case ScriptVerb::Chunk:
            m_core.Comm1ReceiveData(reinterpret_cast<const std::uint8_t*>(command.bytes.data()),
                                    static_cast<std::uint16_t>(command.bytes.size()));
            break;
        case ScriptVerb::Set:
            setText(command.control, command.text);
            break;
        case ScriptVerb::Select:
            setText(Control::ComboBox1, command.text);
            setText(Control::Et1, NumberText::formatWeight(command.standard));
            setText(Control::Et2, NumberText::formatWeight(command.upper));
            setText(Control::Et3, NumberText::formatWeight(command.lower));
            m_core.ModelSelected();
            break;
        case ScriptVerb::Click:
            if (command.text == "OpenPort") {
                m_core.OpenPort();
            } else if (command.text == "ClosePort") {
                m_core.ClosePort();
            } else if (command.text == "BtnSetTabs") {
                if (buttonEnabled(Button::BtnSetTabs)) {
                    m_core.BtnSetTabsClick();
                }
            } else if (command.text == "BtnBullets") {
                if (buttonEnabled(Button::BtnBullets)) {
                    m_core.BtnBulletsClick();
                }
            } else {
                Button button = command.text == "BtnClear" ? Button::BtnClear : Button::BtnWordWrap;
                if (buttonEnabled(button)) {
                    m_core.BtnClearClick(command.text);
                }
            }
            break;
        case ScriptVerb::Close:
            m_core.FormClose();
            break;
        }
    });
}

void TraceHost::fireTimer(Timer timer) {
    dispatch([&] {
        if (timer == Timer::Timer1) {
            m_core.Timer1Timer();
        } else {
            m_core.Timer2Timer();
        }
    });
}

void TraceHost::wake() {
    dispatch([&] { m_core.Wake(); });
}

void TraceHost::reportError(const std::string& message) {
    showError(NumberText::errorBoxText(message));
}

void TraceHost::showError(const std::string& text) {
    m_trace.line("error").add("text", text);
}

std::string TraceHost::text(Control control) const {
    auto found = m_texts.find(control);
    return found == m_texts.end() ? std::string() : found->second;
}

void TraceHost::setText(Control control, const std::string& text) {
    m_texts[control] = text;
    if (control == Control::Edit1 || control == Control::Edit2 || control == Control::Edit3) {
        m_trace.line(controlName(control)).add("text", text);
    }
}

void TraceHost::setLampColor(Lamp lamp, LampColor color) {
    m_lamps[static_cast<std::size_t>(lamp)] = color;
    m_trace.line(lampName(lamp)).add("color", lampColorName(color));
}

void TraceHost::setButtonEnabled(Button button, bool enabled) {
    m_buttons[static_cast<std::size_t>(button)] = enabled;
}

void TraceHost::setTimerEnabled(Timer timer, bool enabled) {
    auto index = static_cast<std::size_t>(timer);
    if (m_timerEnabled[index] == enabled) {
        return; // an enabled timer keeps its schedule
    }
    m_timerEnabled[index] = enabled;
    m_trace.line("timer").add("name", timerName(timer)).add("enabled", enabled);
    timerChanged(timer, enabled, m_timerInterval[index]);
}

void TraceHost::setTimerInterval(Timer timer, int milliseconds) {
    m_timerInterval[static_cast<std::size_t>(timer)] = milliseconds;
}

bool TraceHost::writeData(const std::uint8_t* data, std::uint16_t length) {
    bool sent = portWrite(data, length);
    // The core hands a frame over one byte at a time; the trace shows each complete hand-over once.
    if (m_trace.frameBytes(data, length, sent)) {
        frameHandedOver(m_trace.lastFrameSent());
    }
    return sent;
}

void TraceHost::openPort() {
    portOpen();
    m_trace.line("port").add("open", true);
}

void TraceHost::closePort() {
    if (!portIsOpen()) {
        return;
    }
    portClose();
    m_trace.line("port").add("open", false);
}

void TraceHost::showMessage(const std::string& title, const std::string& text) {
    m_trace.line("message").add("title", title).add("text", text);
}

void TraceHost::recordResult(const std::string& verdict) {
    m_trace.line("record")
        .add("verdict", verdict)
        .add("model", text(Control::ComboBox1))
        .add("weight", text(Control::Edit2));
    m_runtime.recordVerdict(verdict, std::string());
}

void TraceHost::productOver() {
    m_runtime.productOver();
}

void TraceHost::saveProductCount(std::int32_t count) {
    std::string value = std::to_string(count);
    writeProfileKey("Word", "SC_Num", value);
    m_trace.line("ini").add("section", "Word").add("key", "SC_Num").add("value", value);
}

void TraceHost::glitch(std::size_t readings) {
    m_trace.glitch(readings);
}

void TraceHost::indicatorSilent(bool silent) {
    m_trace.indicatorSilent(silent);
}

void TraceHost::zeroed(double oldOffset, double newOffset) {
    m_trace.zeroed(oldOffset, newOffset);
}

void TraceHost::badFrame(const std::string& reason) {
    m_trace.badFrame(reason);
}

void TraceHost::frameHandedOver(bool) {}

void TraceHost::writeProfileKey(const std::string&, const std::string&, const std::string&) {}

} // namespace kelvora
