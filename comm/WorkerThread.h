#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace kelvora {

/// A thread whose end can be waited for with a bound. The body must own what it uses (shared pointers):
/// a thread that does not end in time is left detached and keeps its resources until it does end.
class WorkerThread {
public:
    WorkerThread();
    /// A thread still running is left detached, never waited for.
    virtual ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    /// Waits at most timeout for the body to end. True: it ended and the thread is gone (also when it was
    /// never started). False: it is still running and is now left detached.
    bool WaitFor(std::chrono::milliseconds timeout);
    /// The body has ended (or was never started).
    bool Finished() const;

protected:
    /// Starts the thread running body; throws std::system_error when the thread cannot be created.
    void start(std::function<void()> body);

private:
    struct Completion {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
    };

    std::thread m_thread;
    bool m_started = false;
    std::shared_ptr<Completion> m_completion;
};

} // namespace kelvora
