#include "comm/SendQueue.h"

#include <utility>

namespace kelvora {

std::shared_ptr<SendQueue> SendQueue::create() {
    auto arrived = WaitableEvent::create();
    if (!arrived) {
        return nullptr;
    }
    return std::shared_ptr<SendQueue>(new SendQueue(std::move(arrived)));
}

bool SendQueue::push(Block block) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_closed) {
            return false;
        }
        m_blocks.push_back(std::move(block));
    }
    m_arrived->set();
    return true;
}

std::optional<Block> SendQueue::pop() {
    const std::lock_guard lock(m_mutex);
    if (m_blocks.empty()) {
        return std::nullopt;
    }
    Block block = std::move(m_blocks.front());
    m_blocks.pop_front();
    return block;
}

void SendQueue::close() {
    std::deque<Block> dropped;
    const std::lock_guard lock(m_mutex);
    m_closed = true;
    dropped.swap(m_blocks);
}

} // namespace kelvora
