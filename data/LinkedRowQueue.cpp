#include "data/LinkedRowQueue.h"

namespace kelvora {

LinkedRowQueue::LinkedRowQueue(std::size_t batches, std::size_t rowsPerBatch) {
    for (std::size_t i = 0; i < batches; ++i) {
        auto batch = std::make_unique<Batch>();
        batch->rows.resize(rowsPerBatch);
        m_free.push_back(std::move(batch));
    }
}

std::unique_ptr<LinkedRowQueue::Batch> LinkedRowQueue::takeFree() {
    return take(m_free);
}

std::unique_ptr<LinkedRowQueue::Batch> LinkedRowQueue::takeFilled() {
    return take(m_filled);
}

void LinkedRowQueue::giveFilled(std::unique_ptr<Batch> batch) {
    give(m_filled, std::move(batch));
}

void LinkedRowQueue::giveBack(std::unique_ptr<Batch> batch) {
    batch->count = 0;
    batch->starts.clear();
    give(m_free, std::move(batch));
}

void LinkedRowQueue::finish() {
    stop(m_finished);
}

void LinkedRowQueue::abort() {
    stop(m_aborted);
}

std::unique_ptr<LinkedRowQueue::Batch> LinkedRowQueue::take(std::deque<std::unique_ptr<Batch>>& from) {
    std::unique_lock lock(m_mutex);
    // Only the filled side ends with the reader; a free batch always comes back unless aborted.
    m_changed.wait(lock, [&] { return m_aborted || !from.empty() || (&from == &m_filled && m_finished); });
    if (m_aborted || from.empty())
        return nullptr;
    std::unique_ptr<Batch> batch = std::move(from.front());
    from.pop_front();
    return batch;
}

void LinkedRowQueue::give(std::deque<std::unique_ptr<Batch>>& to, std::unique_ptr<Batch> batch) {
    {
        std::lock_guard lock(m_mutex);
        to.push_back(std::move(batch));
    }
    m_changed.notify_all();
}

void LinkedRowQueue::stop(bool& flag) {
    {
        std::lock_guard lock(m_mutex);
        flag = true;
    }
    m_changed.notify_all();
}

} // namespace kelvora
