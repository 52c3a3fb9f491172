#include "weighing/StationHost.h"

namespace kelvora {

const char* controlName(Control control) {
    switch (control) {
    case Control::Edit1:
        return "Edit1";
    case Control::Edit2:
        return "Edit2";
    case Control::Edit3:
        return "Edit3";
    case Control::Et1:
        return "Et1";
    case Control::Et2:
        return "Et2";
    case Control::Et3:
        return "Et3";
    case Control::ComboBox1:
        return "ComboBox1";
    case Control::LabeledEdit1:
        return "LabeledEdit1";
    case Control::LabeledEdit2:
        return "LabeledEdit2";
    }
    return "";
}

const char* lampName(Lamp lamp) {
    return lamp == Lamp::Shape1 ? "Shape1" : "Shape2";
}

const char* lampColorName(LampColor color) {
    switch (color) {
    case LampColor::Lime:
        return "lime";
    case LampColor::Red:
        return "red";
    case LampColor::Yellow:
        return "yellow";
    }
    return "";
}

const char* timerName(Timer timer) {
    return timer == Timer::Timer1 ? "Timer1" : "Timer2";
}

const char* buttonName(Button button) {
    switch (button) {
    case Button::BtnClear:
        return "BtnClear";
    case Button::BtnWordWrap:
        return "BtnWordWrap";
    case Button::BtnSetTabs:
        return "BtnSetTabs";
    case Button::BtnBullets:
        return "BtnBullets";
    }
    return "";
}

} // namespace kelvora
