#include "comm/WorkerThread.h"

#include <utility>

namespace kelvora {

WorkerThread::WorkerThread() : m_completion(std::make_shared<Completion>()) {}

WorkerThread::~WorkerThread() {
    if (m_thread.joinable()) {
        if (Finished()) {
            m_thread.join();
        } else {
            m_thread.detach();
        }
    }
}

void WorkerThread::start(std::function<void()> body) {
    m_thread = std::thread([completion = m_completion, body = std::move(body)] {
        body();
        const std::lock_guard lock(completion->mutex);
        completion->done = true;
        completion->ended.notify_all();
    });
    m_started = true;
}

bool WorkerThread::WaitFor(std::chrono::milliseconds timeout) {
    if (!m_thread.joinable()) {
        return true;
    }
    std::unique_lock lock(m_completion->mutex);
    if (!m_completion->ended.wait_for(lock, timeout, [this] { return m_completion->done; })) {
        lock.unlock();
        m_thread.detach();
        return false;
    }
    lock.unlock();
    m_thread.join(); // the body has returned: only the thread's own exit is left
    return true;
}

bool WorkerThread::Finished() const {
    const std::lock_guard lock(m_completion->mutex);
    return !m_started || m_completion->done;
}

} // namespace kelvora
