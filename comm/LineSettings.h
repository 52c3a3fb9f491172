#pragma once

#include "comm/CommTypes.h"

#include <cstdint>

namespace kelvora {

/// The line settings and flow control a port is programmed with. Defaults are the component's defaults.
/// Fields Linux cannot honour are kept so that they read back as set; each says so.
struct LineSettings {
    std::uint32_t BaudRate = 9600;
    bool ParityCheck = false; ///< input parity checking; parity and framing errors are then marked
    bool Outx_CtsFlow = true; ///< hardware flow control (Linux has it only in both directions)
    bool Outx_DsrFlow = true; ///< stored only: Linux cannot hold output on DSR
    TDtrControl DtrControl = TDtrControl::DtrEnable;
    bool DsrSensitivity = false;  ///< received bytes are dropped while DSR is seen off (where DSR can be read)
    bool TxContinueOnXoff = true; ///< stored only: Linux always goes on sending after it sent XOFF
    bool Outx_XonXoffFlow = false;
    bool Inx_XonXoffFlow = false;
    bool ReplaceWhenParityError = false; ///< with ParityCheck: a byte with a parity error becomes ReplacedChar
    bool IgnoreNullChar = false;         ///< received zero bytes are dropped
    TRtsControl RtsControl = TRtsControl::RtsEnable;
    std::uint16_t XonLimit = 10;  ///< stored only: the Linux thresholds are fixed
    std::uint16_t XoffLimit = 10; ///< stored only: the Linux thresholds are fixed
    TByteSize ByteSize = TByteSize::_8;
    TParity Parity = TParity::None;
    TStopBits StopBits = TStopBits::_1;
    std::uint8_t XonChar = 0x11;
    std::uint8_t XoffChar = 0x13;
    std::uint8_t ReplacedChar = 0;
};

/// The read and write time-outs of a port, in milliseconds.
struct PortTimeouts {
    /// Longest gap between two received bytes before a read completes; 0 = none.
    std::uint32_t ReadIntervalTimeout = 10;
    std::uint32_t ReadTotalTimeoutMultiplier = 0; ///< per byte asked for; with the constant 0: no total time-out
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0; ///< per byte written; with the constant 0: no time-out
    std::uint32_t WriteTotalTimeoutConstant = 0;
};

} // namespace kelvora
