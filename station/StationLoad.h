#pragma once

#include "app/config/StationConfig.h"
#include "station/TraceHost.h"

#include <string>

namespace kelvora {

/// The main window's creation for a station without a window: the host's runtime loads iniPath
/// (StationRuntime::load). Returns the settings for the port.
StationSettings loadStation(TraceHost& host, const std::string& iniPath);

} // namespace kelvora
