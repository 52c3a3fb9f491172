#include "station/StopSignals.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <unistd.h>

#include <QSocketNotifier>

namespace kelvora {

namespace {

// The write end is all a signal handler may touch; the read end wakes the event loop.
int g_pipe[2] = {-1, -1};
struct sigaction g_previousInt {};
struct sigaction g_previousTerm {};
struct sigaction g_previousHup {};

extern "C" void onStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(g_pipe[1], &byte, 1);
    // A second interrupt ends the program at once, should the clean stop hang.
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGHUP, SIG_DFL);
    errno = saved;
}

} // namespace

StopSignals::StopSignals(std::function<void()> onStop) : m_onStop(std::move(onStop)) {
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error(std::string("cannot create the signal pipe: ") + std::strerror(errno));
    }
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        m_onStop();
    });
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &g_previousInt);
    ::sigaction(SIGTERM, &action, &g_previousTerm);
    ::sigaction(SIGHUP, &action, &g_previousHup);
}

StopSignals::~StopSignals() {
    ::sigaction(SIGINT, &g_previousInt, nullptr);
    ::sigaction(SIGTERM, &g_previousTerm, nullptr);
    ::sigaction(SIGHUP, &g_previousHup, nullptr);
    m_notifier.reset();
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

} // namespace kelvora
