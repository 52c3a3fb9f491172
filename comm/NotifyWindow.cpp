#include "comm/NotifyWindow.h"

#include <utility>

#include <QCoreApplication>

namespace kelvora {

Notification::Notification(std::uint32_t message, std::uint32_t value, Block block)
    : QEvent(eventType()), m_message(message), m_value(value), m_block(std::move(block))
{
}

QEvent::Type Notification::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

NotifyWindow::NotifyWindow(Dispatcher dispatcher) : m_dispatcher(std::move(dispatcher)) {}

bool NotifyWindow::event(QEvent* event)
{
    if (event->type() != Notification::eventType()) {
        return QObject::event(event);
    }
    m_dispatcher(static_cast<const Notification&>(*event));
    return true;
}

bool NotifyPoster::post(std::uint32_t message, std::uint32_t value, Block block)
{
    const std::lock_guard lock(m_mutex);
    if (!m_window) {
        return false;
    }
    QCoreApplication::postEvent(m_window, new Notification(message, value, std::move(block)));
    return true;
}

void NotifyPoster::disconnect()
{
    const std::lock_guard lock(m_mutex);
    m_window = nullptr;
}

} // namespace kelvora
