#include "station/StationLoad.h"

namespace kelvora {

StationSettings loadStation(TraceHost& host, const std::string& iniPath) {
    WeighingCore& core = host.core();
    core.initialize();
    StationSettings settings = StationConfig::loadMainWindow(iniPath, core.state());
    host.setText(Control::LabeledEdit1, settings.batchCountText);
    host.setText(Control::LabeledEdit2, settings.batchReminderText);
    host.setTimerInterval(Timer::Timer2, settings.timer2Interval);
    host.setTimerInterval(Timer::Timer1, settings.timer1Interval);
    host.setText(Control::Edit3, core.statusText());
    return settings;
}

} // namespace kelvora
