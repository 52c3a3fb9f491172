#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace kelvora::test {

/// A PostgreSQL server of the test's own, in a temporary folder, on a free TCP port of 127.0.0.1, that
/// the test may stop, start, freeze (SIGSTOP to every server process) and thaw. Runs as the postgres
/// user when the test runs as root. Stopped and removed with the object.
class PostgresServer {
public:
    /// False when the server binaries are not installed (the test then skips itself).
    static bool available();

    /// initdb and start; throws std::runtime_error with the server's log when it cannot.
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    int port() const { return m_port; }
    /// A new database on the server with the station's tables (db init); returns its connection string.
    std::string createStationDatabase(const std::string& name);

    void start();
    /// A fast stop: connections are cut.
    void stop();
    /// SIGSTOP / SIGCONT to the postmaster and all its children: the server neither answers nor closes.
    void freeze();
    void thaw();

private:
    void signalAll(int signal);
    std::string m_dir;
    int m_port = 0;
};

/// A TCP proxy on a free port of 127.0.0.1 in front of a server port. Once armed, the first reply
/// from the server that reports a finished COMMIT is not passed on: both connections are cut instead, so
/// the client never learns that its commit succeeded.
class CommitReplyCutter {
public:
    explicit CommitReplyCutter(int serverPort);
    ~CommitReplyCutter();
    CommitReplyCutter(const CommitReplyCutter&) = delete;
    CommitReplyCutter& operator=(const CommitReplyCutter&) = delete;

    int port() const { return m_port; }
    void arm() { m_armed = true; }
    /// How many commit replies were cut so far.
    int cuts() const { return m_cuts; }

private:
    void acceptLoop();
    void pump(int client);

    int m_serverPort;
    int m_port = 0;
    int m_listener = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_armed{false};
    std::atomic<int> m_cuts{0};
    std::mutex m_mutex;
    std::vector<std::thread> m_pumps;
    std::thread m_acceptor;
};

} // namespace kelvora::test
