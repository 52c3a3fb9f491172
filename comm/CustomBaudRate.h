#pragma once

#include <cstdint>

namespace kelvora {

/// Sets a baud rate that has no standard speed constant on an open Linux tty; false when refused.
/// Kept apart from the termios code: the kernel's termios header and the C library's clash.
bool setCustomBaudRate(int handle, std::uint32_t rate);

/// The output baud rate the tty holds, whatever its kind; 0 when it cannot be read.
std::uint32_t currentBaudRate(int handle);

} // namespace kelvora
