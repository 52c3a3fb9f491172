#pragma once

#include "app/config/StationConfig.h"
#include "station/TraceHost.h"

#include <string>

namespace kelvora {

/// The main window's creation for a station without a window: the initial weighing state, Stop disabled,
/// then the configuration from iniPath (a missing file gives the defaults) into the state, the batch
/// fields, the timers and the status text. Returns the settings for the port.
StationSettings loadStation(TraceHost& host, const std::string& iniPath);

} // namespace kelvora
