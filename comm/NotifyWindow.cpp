#include "comm/NotifyWindow.h"

#include <utility>

namespace kelvora {

NotifyWindow::NotifyWindow(Dispatcher dispatcher) : m_dispatcher(std::move(dispatcher)) {}

bool NotifyWindow::event(QEvent* event) {
    if (event->type() != Notification::eventType()) {
        return QObject::event(event);
    }
    m_dispatcher(static_cast<const Notification&>(*event));
    return true;
}

} // namespace kelvora
