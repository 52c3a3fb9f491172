#pragma once

#include "tests/support/TestPaths.h"

#include <string>
#include <sys/types.h>

namespace kelvora::test {

/// Debian's mosquitto on a free local port, with a generated configuration in a folder of its own:
/// anonymous clients, persistence (a subscriber's session and its queued QoS 1 messages survive a
/// restart) and, when asked, a websockets listener on a second free port serving httpDir.
class MosquittoBroker {
public:
    /// Starts the broker and waits until it accepts connections; throws std::runtime_error when it
    /// does not within 5 s.
    explicit MosquittoBroker(const std::string& httpDir = "");
    /// Stops it.
    ~MosquittoBroker();
    MosquittoBroker(const MosquittoBroker&) = delete;
    MosquittoBroker& operator=(const MosquittoBroker&) = delete;

    int port() const { return m_port; }
    /// 0 without a websockets listener.
    int websocketsPort() const { return m_websocketsPort; }
    /// SIGTERM, and waits until it has gone (it saves its persistence file).
    void stop();
    /// Starts it again on the same ports.
    void start();

    /// What the broker logged so far, every packet included (log_type all).
    std::string log() const;

    /// A port nobody listens on now.
    static int freePort();

private:
    TempDir m_dir;
    int m_port;
    int m_websocketsPort = 0;
    pid_t m_pid = -1;
};

} // namespace kelvora::test
