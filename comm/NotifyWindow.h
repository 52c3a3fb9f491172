#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "comm/Block.h"

#include <QEvent>
#include <QObject>

namespace kelvora {

/// One notification from a worker thread: its message number, a value (byte count, flags or modem code)
/// and, for received data, the chunk block, which is freed with the notification.
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

/// The main-thread receiver of the worker threads' notifications. Notifications are posted events, so
/// whatever event loop the main thread runs (modal loops included) hands them over one at a time, in
/// posting order, to the dispatcher given at construction. An exception from the dispatcher leaves
/// event() and goes on to QCoreApplication::notify; the notification is freed all the same.
class NotifyWindow : public QObject {
public:
    using Dispatcher = std::function<void(const Notification&)>;
    explicit NotifyWindow(Dispatcher dispatcher);

    bool event(QEvent* event) override;

private:
    Dispatcher m_dispatcher;
};

/// The worker threads' way to a NotifyWindow. It outlives the window when a thread does (a thread left
/// running after a stop): posts then fail instead of reaching a destroyed window.
class NotifyPoster {
public:
    explicit NotifyPoster(NotifyWindow* window) : m_window(window) {}

    /// Queues a notification; false when the window is gone. Any thread.
    bool post(std::uint32_t message, std::uint32_t value, Block block = {});
    /// Cuts the way to the window; called on the main thread before the window is destroyed.
    void disconnect();

private:
    std::mutex m_mutex;
    NotifyWindow* m_window;
};

} // namespace kelvora
