#pragma once

#include "app/config/StationConfig.h"
#include "comm/TComm.h"

#include <string>

namespace kelvora {

/// Gives Comm1 its design-time values (XON/XOFF flow both ways with limits of 500, no hardware flow,
/// a 16 ms read interval) and then the port settings loaded from Option.ini, the port name replaced by
/// portName. The station window and the windowless monitor configure their port through this one place.
void configureComm1(TComm& comm, const StationSettings& settings, const std::string& portName);

} // namespace kelvora
