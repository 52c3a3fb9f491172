#include "PostgresServer.h"

#include "data/DatabaseSetup.h"

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

namespace kelvora::test {

namespace {

const std::string kBin = "/usr/lib/postgresql/15/bin/";

std::string asServerUser(const std::string& command) {
    return getuid() == 0 ? "runuser -u postgres -- " + command : command;
}

void run(const std::string& command, const std::string& what) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error(what + " failed: " + command);
}

int freePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    close(s);
    return ntohs(address.sin_port);
}

int listenOn(int& port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    const int yes = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0)
        throw std::runtime_error(std::string("proxy: ") + std::strerror(errno));
    socklen_t length = sizeof address;
    getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return s;
}

// The parent's pid of a process, from /proc.
int parentOf(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream rest(text.substr(close + 2));
    char state;
    int parent = -1;
    rest >> state >> parent;
    return parent;
}

} // namespace

bool PostgresServer::available() {
    return std::filesystem::exists(kBin + "initdb");
}

PostgresServer::PostgresServer() {
    char pattern[] = "/tmp/kvpgfault-XXXXXX";
    m_dir = mkdtemp(pattern);
    m_port = freePort();
    if (getuid() == 0)
        run("chown postgres " + m_dir, "chown");
    run(asServerUser(kBin + "initdb -D " + m_dir + "/data -U postgres -A trust -E UTF8 --locale=C.UTF-8 >" + m_dir +
                     "/initdb.log 2>&1"),
        "initdb");
    start();
}

PostgresServer::~PostgresServer() {
    thaw();
    std::system(asServerUser(kBin + "pg_ctl -D " + m_dir + "/data -m immediate -w stop >/dev/null 2>&1").c_str());
    std::filesystem::remove_all(m_dir);
}

void PostgresServer::start() {
    run(asServerUser(kBin + "pg_ctl -D " + m_dir + "/data -l " + m_dir +
                     "/log -w -o \"-c listen_addresses=127.0.0.1 -k " + m_dir + " -p " + std::to_string(m_port) +
                     " -c fsync=off\" start >/dev/null"),
        "starting PostgreSQL");
}

void PostgresServer::stop() {
    run(asServerUser(kBin + "pg_ctl -D " + m_dir + "/data -m fast -w stop >/dev/null"), "stopping PostgreSQL");
}

void PostgresServer::signalAll(int signal) {
    std::ifstream pidFile(m_dir + "/data/postmaster.pid");
    int postmaster = 0;
    if (!(pidFile >> postmaster))
        return;
    kill(postmaster, signal);
    DIR* proc = opendir("/proc");
    while (dirent* entry = readdir(proc)) {
        const int pid = std::atoi(entry->d_name);
        if (pid > 0 && parentOf(pid) == postmaster)
            kill(pid, signal);
    }
    closedir(proc);
}

void PostgresServer::freeze() {
    signalAll(SIGSTOP);
}

void PostgresServer::thaw() {
    signalAll(SIGCONT);
}

std::string PostgresServer::createStationDatabase(const std::string& name) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("creator"));
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(m_port);
        db.setUserName(QStringLiteral("postgres"));
        db.setDatabaseName(QStringLiteral("postgres"));
        if (!db.open())
            throw std::runtime_error(db.lastError().text().toStdString());
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("CREATE DATABASE %1").arg(QString::fromStdString(name))))
            throw std::runtime_error(query.lastError().text().toStdString());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("creator"));
    const std::string target = "Provider=PostgreSQL;Host=127.0.0.1;Port=" + std::to_string(m_port) +
                               ";Database=" + name + ";User ID=postgres;Password=;";
    database_setup::initDatabase(QString::fromStdString(target), false);
    return target;
}

CommitReplyCutter::CommitReplyCutter(int serverPort) : m_serverPort(serverPort) {
    m_listener = listenOn(m_port);
    m_acceptor = std::thread([this] { acceptLoop(); });
}

CommitReplyCutter::~CommitReplyCutter() {
    m_stop = true;
    shutdown(m_listener, SHUT_RDWR);
    close(m_listener);
    m_acceptor.join();
    for (std::thread& pump : m_pumps)
        pump.join();
}

void CommitReplyCutter::acceptLoop() {
    while (!m_stop) {
        pollfd waiting{m_listener, POLLIN, 0};
        if (poll(&waiting, 1, 100) <= 0)
            continue;
        const int client = accept(m_listener, nullptr, nullptr);
        if (client < 0)
            continue;
        std::lock_guard lock(m_mutex);
        m_pumps.emplace_back([this, client] { pump(client); });
    }
}

void CommitReplyCutter::pump(int client) {
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(m_serverPort));
    if (connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(client);
        close(server);
        return;
    }
    std::array<char, 65536> buffer;
    // A CommandComplete message: 'C', its length, then the tag "COMMIT" and a zero byte.
    static const std::string kCommitDone = std::string("COMMIT") + '\0';
    while (!m_stop) {
        pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
        if (poll(ends, 2, 100) <= 0)
            continue;
        bool closed = false;
        for (int i = 0; i < 2 && !closed; ++i) {
            if (!(ends[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const ssize_t got = read(ends[i].fd, buffer.data(), buffer.size());
            if (got <= 0) {
                closed = true;
                break;
            }
            const bool fromServer = i == 1;
            if (fromServer && m_armed &&
                std::string_view(buffer.data(), static_cast<std::size_t>(got)).find(kCommitDone) !=
                    std::string_view::npos) {
                m_armed = false;
                ++m_cuts;
                closed = true;
                break;
            }
            const int to = fromServer ? client : server;
            for (ssize_t sent = 0; sent < got;) {
                const ssize_t n = write(to, buffer.data() + sent, static_cast<std::size_t>(got - sent));
                if (n <= 0) {
                    closed = true;
                    break;
                }
                sent += n;
            }
        }
        if (closed)
            break;
    }
    close(client);
    close(server);
}

} // namespace kelvora::test
