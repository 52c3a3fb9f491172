#pragma once

#include "comm/Block.h"

#include <cstdint>

#include <QEvent>

namespace kelvora {

/// One notification from a worker thread to the main thread: its message number (MsgDataReceived ...
/// MsgSendDataEmpty), a value (byte count, line-error flags or modem code) and, for received data, the
/// chunk block, which is freed with the notification on every path.
class Notification : public QEvent {
public:
    Notification(std::uint32_t message, std::uint32_t value, Block block);

    std::uint32_t message() const { return m_message; }
    std::uint32_t value() const { return m_value; }
    const Block& block() const { return m_block; }

    static QEvent::Type eventType();

private:
    std::uint32_t m_message;
    std::uint32_t m_value;
    Block m_block;
};

} // namespace kelvora
