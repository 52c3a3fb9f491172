#pragma once

#include <cstdint>

namespace kelvora {

/// Parity scheme; the ordinal is the value the driver is given (none, odd, even, mark, space).
enum class TParity : std::uint8_t { None, Odd, Even, Mark, Space };

/// Stop bits; 1.5 exists on Linux only together with 5 data bits, any other combination is rejected by the
/// port and leaves its previous settings in place.
enum class TStopBits : std::uint8_t { _1, _1_5, _2 };

/// Data bits: ordinal + 5.
enum class TByteSize : std::uint8_t { _5, _6, _7, _8 };

/// DTR line mode. DtrHandshake has no Linux equivalent: stored only, DTR is left as the driver has it.
enum class TDtrControl : std::uint8_t { DtrEnable, DtrDisable, DtrHandshake };

/// RTS line mode. RtsHandshake turns on hardware flow control (both directions, as Linux only knows it);
/// RtsTransmissionAvailable has no Linux equivalent: stored only, RTS is left as the driver has it.
enum class TRtsControl : std::uint8_t { RtsEnable, RtsDisable, RtsHandshake, RtsTransmissionAvailable };

/// Line-error flags passed to OnReceiveError.
inline constexpr std::uint32_t CE_RXOVER = 0x0001;   ///< the input buffer overflowed
inline constexpr std::uint32_t CE_OVERRUN = 0x0002;  ///< the UART lost a byte
inline constexpr std::uint32_t CE_RXPARITY = 0x0004; ///< a byte with a parity error
inline constexpr std::uint32_t CE_FRAME = 0x0008;    ///< a byte with a framing error
inline constexpr std::uint32_t CE_BREAK = 0x0010;    ///< a break condition

/// Modem codes passed to OnModemStateChange; both bits are set when one check finds both.
inline constexpr std::uint32_t ModemRing = 4;
inline constexpr std::uint32_t ModemCarrierDetect = 8;

/// The notifications the worker threads post to the main thread.
inline constexpr std::uint32_t MsgDataReceived = 1025;
inline constexpr std::uint32_t MsgReceiveError = 1026;
inline constexpr std::uint32_t MsgRequestHangup = 1027;
inline constexpr std::uint32_t MsgModemStateChange = 1028;
inline constexpr std::uint32_t MsgSendDataEmpty = 1029;

/// The size of every read: a chunk holds at most this many bytes.
inline constexpr std::uint16_t kReadChunkSize = 128;

} // namespace kelvora
