#include "weighing/TraceHost.h"

#include "weighing/NumberText.h"

#include <exception>

namespace kelvora {

// One trace object, written as a single line when it goes out of scope.
class TraceHost::Line {
public:
    Line(TraceHost& host, const char* event) : m_out(host.m_out) {
        m_text = "{\"t\":" + std::to_string(host.now()) + ",\"ev\":\"" + event + "\"";
    }
    ~Line() {
        m_text += "}\n";
        m_out.write(m_text.data(), static_cast<std::streamsize>(m_text.size()));
    }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    Line& add(const char* key, std::string_view value) {
        m_text += ",\"";
        m_text += key;
        m_text += "\":\"";
        for (char c : value) {
            appendEscaped(c);
        }
        m_text += '"';
        return *this;
    }
    Line& add(const char* key, const char* value) { return add(key, std::string_view(value)); }
    Line& add(const char* key, const std::string& value) { return add(key, std::string_view(value)); }
    Line& add(const char* key, std::int64_t value) {
        m_text += ",\"" + std::string(key) + "\":" + std::to_string(value);
        return *this;
    }
    Line& add(const char* key, bool value) {
        m_text += ",\"" + std::string(key) + "\":" + (value ? "true" : "false");
        return *this;
    }

private:
    void appendEscaped(char c) {
        static const char digits[] = "0123456789abcdef";
        auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            m_text += '\\';
            m_text += c;
        } else if (byte < 0x20) {
            m_text += "\\u00";
            m_text += digits[byte >> 4];
            m_text += digits[byte & 0x0F];
        } else {
            m_text += c;
        }
    }

    std::ostream& m_out;
    std::string m_text;
};

TraceHost::TraceHost(std::ostream& out) : m_out(out), m_core(*this) {
    m_texts[Control::Edit1] = "None";
    m_texts[Control::Edit2] = "None";
    m_texts[Control::Edit3] = "等待中...";
}

void TraceHost::dispatch(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        reportError(error.what());
    }
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
                openPort();
            } else if (command.text == "ClosePort") {
                closePort();
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

void TraceHost::reportError(const std::string& message) {
    Line(*this, "error").add("text", NumberText::errorBoxText(message));
}

void TraceHost::setRecorder(ProductRecorder* recorder, std::function<std::string()> timeText) {
    m_recorder = recorder;
    m_timeText = std::move(timeText);
}

std::string TraceHost::text(Control control) const {
    auto found = m_texts.find(control);
    return found == m_texts.end() ? std::string() : found->second;
}

void TraceHost::setText(Control control, const std::string& text) {
    m_texts[control] = text;
    if (control == Control::Edit1 || control == Control::Edit2 || control == Control::Edit3) {
        Line(*this, controlName(control)).add("text", text);
    }
}

void TraceHost::setLampColor(Lamp lamp, LampColor color) {
    m_lamps[static_cast<std::size_t>(lamp)] = color;
    Line(*this, lampName(lamp)).add("color", lampColorName(color));
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
    Line(*this, "timer").add("name", timerName(timer)).add("enabled", enabled);
    timerChanged(timer, enabled, m_timerInterval[index]);
}

void TraceHost::setTimerInterval(Timer timer, int milliseconds) {
    m_timerInterval[static_cast<std::size_t>(timer)] = milliseconds;
}

bool TraceHost::writeData(const std::uint8_t* data, std::uint16_t length) {
    bool sent = portWrite(data, length);
    // The core hands a frame over one byte at a time; the trace shows each complete hand-over once.
    if (m_frame.empty()) {
        m_frameSent = sent;
    }
    m_frame.append(reinterpret_cast<const char*>(data), length);
    if (m_frame.size() >= 17) {
        Line(*this, "frame")
            .add("flags", static_cast<std::int64_t>(m_frame[8] - '0'))
            .add("hex", StationScript::toHex(m_frame.substr(0, 17)))
            .add("sent", m_frameSent);
        m_frame.erase(0, 17);
        frameHandedOver(m_frameSent);
        m_frameSent = sent;
    }
    return sent;
}

void TraceHost::openPort() {
    portOpen();
    Line(*this, "port").add("open", true);
}

void TraceHost::closePort() {
    if (!portIsOpen()) {
        return;
    }
    portClose();
    Line(*this, "port").add("open", false);
}

void TraceHost::showMessage(const std::string& title, const std::string& text) {
    Line(*this, "message").add("title", title).add("text", text);
}

void TraceHost::recordResult(const std::string& verdict) {
    Line(*this, "record")
        .add("verdict", verdict)
        .add("model", text(Control::ComboBox1))
        .add("weight", text(Control::Edit2));
    if (m_recorder != nullptr) {
        m_recorder->verdict({text(Control::ComboBox1), NumberText::toFloat(text(Control::Edit2)), verdict,
                             std::string(), m_timeText()});
    }
}

void TraceHost::productOver() {
    if (m_recorder != nullptr) {
        m_recorder->productOver();
    }
}

void TraceHost::saveProductCount(std::int32_t count) {
    std::string value = std::to_string(count);
    writeProfileKey("Word", "SC_Num", value);
    Line(*this, "ini").add("section", "Word").add("key", "SC_Num").add("value", value);
}

void TraceHost::frameHandedOver(bool) {}

void TraceHost::writeProfileKey(const std::string&, const std::string&, const std::string&) {}

} // namespace kelvora
