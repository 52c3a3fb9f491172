#pragma once

#include "comm/Block.h"

#include <cstdint>
#include <mutex>

namespace kelvora {

class NotifyWindow;

/// The worker threads' way to a NotifyWindow. It outlives the window when a thread does (a thread left
/// running after a stop): posts then fail instead of reaching a destroyed window.
class NotifyPoster {
public:
    explicit NotifyPoster(NotifyWindow* window) : m_window(window) {}

    /// Queues a notification for the window's thread, without waiting for it; false when the window is
    /// gone or the notification cannot be made. Any thread.
    bool post(std::uint32_t message, std::uint32_t value, Block block = {});
    /// Cuts the way to the window; called on the main thread before the window is destroyed.
    void disconnect();

private:
    std::mutex m_mutex;
    NotifyWindow* m_window;
};

} // namespace kelvora
