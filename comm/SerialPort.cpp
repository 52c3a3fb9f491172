#include "comm/SerialPort.h"

namespace kelvora {

namespace {

// The receive options packed into one word: the replacement byte in the low 8 bits, then the switches.
constexpr std::uint32_t kParityCheck = 1u << 8;
constexpr std::uint32_t kParityEnabled = 1u << 9;
constexpr std::uint32_t kReplaceParityErrors = 1u << 10;
constexpr std::uint32_t kIgnoreNullChar = 1u << 11;
constexpr std::uint32_t kDsrSensitivity = 1u << 12;

} // namespace

void SerialPort::storeReceiveOptions(const LineSettings& settings) {
    std::uint32_t bits = settings.ReplacedChar;
    bits |= settings.ParityCheck ? kParityCheck : 0u;
    bits |= settings.Parity != TParity::None ? kParityEnabled : 0u;
    bits |= settings.ReplaceWhenParityError ? kReplaceParityErrors : 0u;
    bits |= settings.IgnoreNullChar ? kIgnoreNullChar : 0u;
    bits |= settings.DsrSensitivity ? kDsrSensitivity : 0u;
    m_receiveOptions.store(bits);
}

ReceiveOptions SerialPort::receiveOptions() const {
    const std::uint32_t bits = m_receiveOptions.load();
    return {(bits & kParityCheck) != 0,    (bits & kParityEnabled) != 0,  (bits & kReplaceParityErrors) != 0,
            (bits & kIgnoreNullChar) != 0, (bits & kDsrSensitivity) != 0, static_cast<std::uint8_t>(bits & 0xFF)};
}

void SerialPort::setTimeouts(const PortTimeouts& timeouts) {
    m_readInterval.store(timeouts.ReadIntervalTimeout);
    m_readMultiplier.store(timeouts.ReadTotalTimeoutMultiplier);
    m_readConstant.store(timeouts.ReadTotalTimeoutConstant);
    m_writeMultiplier.store(timeouts.WriteTotalTimeoutMultiplier);
    m_writeConstant.store(timeouts.WriteTotalTimeoutConstant);
}

PortTimeouts SerialPort::timeouts() const {
    return {m_readInterval.load(), m_readMultiplier.load(), m_readConstant.load(), m_writeMultiplier.load(),
            m_writeConstant.load()};
}

} // namespace kelvora
