#include "comm/Notification.h"

#include <utility>

namespace kelvora {

Notification::Notification(std::uint32_t message, std::uint32_t value, Block block)
    : QEvent(eventType()), m_message(message), m_value(value), m_block(std::move(block)) {}

QEvent::Type Notification::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

} // namespace kelvora
