#pragma once

#include "comm/Notification.h"

#include <functional>

#include <QObject>

namespace kelvora {

/// The main-thread receiver of the worker threads' notifications. Notifications are posted events, so
/// whatever event loop the main thread runs (modal loops included) hands them over one at a time, in
/// posting order, to the dispatcher given at construction. The dispatcher must not throw (TComm's runs each
/// handler through its error path); the notification is freed all the same. Destroying the
/// window drops (and frees) the notifications still queued for it.
class NotifyWindow : public QObject {
public:
    using Dispatcher = std::function<void(const Notification&)>;
    explicit NotifyWindow(Dispatcher dispatcher);

    bool event(QEvent* event) override;

private:
    Dispatcher m_dispatcher;
};

} // namespace kelvora
