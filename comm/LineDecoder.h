#pragma once

#include "comm/SerialPort.h"

#include <cstddef>
#include <cstdint>

namespace kelvora {

/// Turns the driver's input, in which line errors are marked (FF 00 c: byte c had a parity or framing
/// error; FF 00 00: a break; FF FF: a real FF), into data and line-error flags. A mark may be split over
/// two reads: the decoder keeps its state between calls. It also drops zero bytes (IgnoreNullChar),
/// replaces bytes with parity errors (ReplaceWhenParityError) and drops everything while DSR is off
/// (DsrSensitivity).
class LineDecoder {
public:
    /// Decodes size bytes of input into out (room for size bytes is enough) and returns the number of
    /// data bytes written; line-error flags found are or-ed into errors.
    std::size_t decode(const std::uint8_t* input, std::size_t size, std::uint8_t* out, const ReceiveOptions& options,
                       bool dsrOn, std::uint32_t& errors);

private:
    enum class State { Data, Escape, Mark };
    State m_state = State::Data;
};

} // namespace kelvora
