#pragma once

#include <functional>
#include <memory>

class QSocketNotifier;

namespace kelvora {

/// Turns SIGINT, SIGTERM and SIGHUP into a call on the main thread's event loop, so that a program can
/// end cleanly (its close steps, its port closed) when it is interrupted, told to end or loses its
/// terminal; a second signal ends it at once. One instance at a
/// time; the previous handlers are restored on destruction. StopSignalsPosix.cpp holds the platform calls.
class StopSignals {
public:
    explicit StopSignals(std::function<void()> onStop);
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::function<void()> m_onStop;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kelvora
