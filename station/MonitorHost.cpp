#include "station/MonitorHost.h"


#include <algorithm>

#include <QCoreApplication>

namespace kelvora {

namespace {

// A press of a button (or OpenPort, ClosePort) as the script and the recording have it.
ScriptCommand click(const char* name) {
    ScriptCommand command;
    command.verb = ScriptVerb::Click;
    command.text = name;
    return command;
}

} // namespace

MonitorHost::MonitorHost(std::ostream& trace, std::ostream* recording) : TraceHost(trace), m_recorder(recording) {
    m_clock.start();
    for (std::size_t i = 0; i < m_timers.size(); ++i) {
        // A window timer repeats until its handler disables it; the handlers here always do.
        m_timers[i] = std::make_unique<QTimer>();
        m_timers[i]->setTimerType(Qt::PreciseTimer);
        QObject::connect(m_timers[i].get(), &QTimer::timeout, [this, i] { fireTimer(static_cast<Timer>(i)); });
    }
    // The port's events take the same error path as the script's lines: an error line, then the next event.
    m_comm.HandlerRunner = [this](const std::function<void()>& handler) { dispatch(handler); };
    m_comm.OnReceiveData = [this](TComm*, const std::uint8_t* buffer, std::uint16_t length) {
        receive(buffer, length);
    };
    m_comm.OnRequestHangup = [this](TComm*) {
        if (portIsOpen()) {
            // A replay of the recording closes the port where the line was lost.
            m_recorder.comment("the serial port reported a failure");
            m_recorder.record(elapsed(), click("ClosePort"));
        }
        core().PortFailed();
    };
    m_wake.setSingleShot(true);
    m_wake.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_wake, &QTimer::timeout, [this] { wake(); });
}

MonitorHost::~MonitorHost() = default;

void MonitorHost::configurePort(const std::string& portName) {
    runtime().configurePort(m_comm, portName);
}

void MonitorHost::applyCommand(const ScriptCommand& command) {
    m_recorder.record(elapsed(), command);
    apply(command);
}

bool MonitorHost::openAtStart() {
    applyCommand(click("OpenPort"));
    return portIsOpen();
}

void MonitorHost::finish(int maxWaitMs) {
    QElapsedTimer waited;
    waited.start();
    while (core().outputPending() && waited.elapsed() < maxWaitMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    }
    if (portIsOpen()) {
        applyCommand(click("ClosePort"));
    }
    // Chunks the reader had posted before it stopped are still handed over, as the station does.
    QCoreApplication::sendPostedEvents();
}

void MonitorHost::wakeChanged(std::optional<std::int64_t> time) {
    if (time) {
        m_wake.start(static_cast<int>(std::max<std::int64_t>(0, *time - elapsed())));
    } else {
        m_wake.stop();
    }
}

void MonitorHost::timerChanged(Timer timer, bool enabled, int interval) {
    QTimer& qtimer = *m_timers[static_cast<std::size_t>(timer)];
    if (enabled && interval > 0) {
        qtimer.start(interval);
    } else {
        qtimer.stop();
    }
}

void MonitorHost::receive(const std::uint8_t* buffer, std::uint16_t length) {
    ScriptCommand chunk;
    chunk.verb = ScriptVerb::Chunk;
    chunk.bytes.assign(reinterpret_cast<const char*>(buffer), length);
    applyCommand(chunk);
}

} // namespace kelvora
