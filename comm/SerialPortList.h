#pragma once

#include <string>
#include <vector>

namespace kelvora {

/// The serial devices of this machine an operator may pick as the port: /dev/ttyUSB* and /dev/ttyACM*,
/// the /dev/ttyS* that have a UART behind them (their /sys/class/tty/<name>/type is not 0), and the
/// stable names under /dev/serial/by-id/ (as full paths). Each group sorted by name, numbers in numeric
/// order (ttyUSB2 before ttyUSB10). `devRoot` and `sysRoot` stand for /dev and /sys.
std::vector<std::string> serialDevices(const std::string& devRoot = "/dev", const std::string& sysRoot = "/sys");

} // namespace kelvora
