#include "station/StationLoad.h"

namespace kelvora {

StationSettings loadStation(TraceHost& host, const std::string& iniPath) {
    return host.runtime().load(iniPath);
}

} // namespace kelvora
