#pragma once

#include <stdexcept>
#include <string>

namespace kelvora {

/// The failure of opening a serial port; carries only its message text.
class ECommsError : public std::runtime_error {
public:
    explicit ECommsError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace kelvora
