#include "comm/LineDecoder.h"

#include "comm/CommTypes.h"

namespace kelvora {

std::size_t LineDecoder::decode(const std::uint8_t* input, std::size_t size, std::uint8_t* out,
                                const ReceiveOptions& options, bool dsrOn, std::uint32_t& errors) {
    std::size_t written = 0;
    const auto emit = [&](std::uint8_t c) {
        if ((options.dsrSensitivity && !dsrOn) || (options.ignoreNullChar && c == 0)) {
            return;
        }
        out[written++] = c;
    };
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t c = input[i];
        switch (m_state) {
        case State::Data:
            if (c == 0xFF) {
                m_state = State::Escape;
            } else {
                emit(c);
            }
            break;
        case State::Escape:
            m_state = c == 0 ? State::Mark : State::Data;
            if (c != 0) {
                emit(c); // FF FF is one real FF; with marking on, nothing else follows an FF
            }
            break;
        case State::Mark:
            m_state = State::Data;
            if (c == 0) {
                errors |= CE_BREAK;
            } else if (options.parityEnabled) {
                // The mark does not say which error it was; with parity on, a parity error is the likely one.
                errors |= CE_RXPARITY;
                emit(options.replaceParityErrors ? options.replacedChar : c);
            } else {
                errors |= CE_FRAME;
                emit(c);
            }
            break;
        }
    }
    return written;
}

} // namespace kelvora
