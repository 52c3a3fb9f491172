#include "comm/NotifyPoster.h"

#include "comm/Notification.h"
#include "comm/NotifyWindow.h"

#include <new>
#include <utility>

#include <QCoreApplication>

namespace kelvora {

bool NotifyPoster::post(std::uint32_t message, std::uint32_t value, Block block) {
    const std::lock_guard lock(m_mutex);
    if (!m_window) {
        return false;
    }
    Notification* notification = new (std::nothrow) Notification(message, value, std::move(block));
    if (!notification) {
        return false;
    }
    QCoreApplication::postEvent(m_window, notification);
    return true;
}

void NotifyPoster::disconnect() {
    const std::lock_guard lock(m_mutex);
    m_window = nullptr;
}

} // namespace kelvora
