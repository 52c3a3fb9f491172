#include "tests/support/MosquittoBroker.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace kelvora::test {

namespace {

bool accepts(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return ok;
}

} // namespace

int MosquittoBroker::freePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(fd);
        throw std::runtime_error("no free port");
    }
    close(fd);
    return ntohs(address.sin_port);
}

MosquittoBroker::MosquittoBroker(const std::string& httpDir) : m_port(freePort()) {
    // Run as root, mosquitto drops to its own user, which must still write its log and persistence here.
    std::filesystem::permissions(m_dir.path(), std::filesystem::perms::all);
    std::ofstream conf(m_dir.file("mosquitto.conf"));
    conf << "per_listener_settings false\nallow_anonymous true\npersistence true\n"
         << "persistence_location " << m_dir.path() << "/\nautosave_interval 1\n"
         << "log_dest file " << m_dir.file("mosquitto.log") << "\nlog_type all\n"
         << "listener " << m_port << " 127.0.0.1\n";
    if (!httpDir.empty()) {
        m_websocketsPort = freePort();
        conf << "listener " << m_websocketsPort << " 127.0.0.1\nprotocol websockets\nhttp_dir " << httpDir << "\n";
    }
    conf.close();
    start();
}

MosquittoBroker::~MosquittoBroker() {
    stop();
}

void MosquittoBroker::start() {
    const std::string conf = m_dir.file("mosquitto.conf");
    m_pid = fork();
    if (m_pid == 0) {
        execlp("mosquitto", "mosquitto", "-c", conf.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!accepts(m_port) || (m_websocketsPort && !accepts(m_websocketsPort))) {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid || std::chrono::steady_clock::now() > deadline) {
            m_pid = -1;
            throw std::runtime_error("mosquitto did not start; see " + m_dir.file("mosquitto.log"));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

std::string MosquittoBroker::log() const {
    std::ifstream in(m_dir.file("mosquitto.log"));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void MosquittoBroker::stop() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

} // namespace kelvora::test
