#pragma once

#include "comm/Block.h"
#include "comm/SerialPort.h"

#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace kelvora {

/// The writer thread's queue of blocks to send. It keeps the order of the pushes, never makes the pusher
/// wait for the line, and has an event that is set whenever a block arrives, so that the writer can wait
/// for it together with the stop event.
class SendQueue {
public:
    /// nullptr when the arrival event cannot be created.
    static std::shared_ptr<SendQueue> create();

    /// Appends the block; false (block dropped) once the queue is closed.
    bool push(Block block);
    /// The oldest block, if any.
    std::optional<Block> pop();
    /// Drops every queued block and refuses further pushes.
    void close();
    /// Set on every push; the consumer resets it before it looks at the queue again.
    WaitableEvent& arrived() { return *m_arrived; }

private:
    explicit SendQueue(std::shared_ptr<WaitableEvent> arrived) : m_arrived(std::move(arrived)) {}

    std::mutex m_mutex;
    std::deque<Block> m_blocks;
    bool m_closed = false;
    std::shared_ptr<WaitableEvent> m_arrived;
};

} // namespace kelvora
