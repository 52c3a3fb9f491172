#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

struct mosquitto;

namespace kelvora {

/// An MQTT client option that cannot be used (a CA file that cannot be read, a bad host or port).
class MqttError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// One MQTT 3.1.1 connection to a broker through libmosquitto, on a network thread of its own: it
/// connects in the background, tries again after a failure or a loss (1 s, doubling up to 10 s), and
/// sends a last will. libmosquitto keeps every QoS 1 message it has accepted until the broker's
/// PUBACK and sends it again after a reconnect, so a message handed over while connected is delivered
/// at least once as long as the process lives.
///
/// The listener's functions are called on the network thread; they must not call back into the client
/// while holding a lock that publish() callers hold.
class MqttClient {
public:
    struct Options {
        std::string host;
        int port = 1883;
        std::string user;     ///< empty: no user name
        std::string password; ///< only with a user name
        std::string caFile;   ///< TLS against this CA certificate file when set
        std::string clientId; ///< empty: the library makes one up
        int keepAliveSeconds = 10;
        std::string willTopic; ///< empty: no last will
        std::string willPayload;
    };
    struct Listener {
        std::function<void(bool connected)> connectionChanged;
        /// The broker acknowledged the QoS 1 message with this id.
        std::function<void(int messageId)> delivered;
    };

    /// Starts the network thread and the first connection attempt; throws MqttError for options the
    /// library refuses. A broker that cannot be reached is no error: the client keeps trying.
    MqttClient(const Options& options, Listener listener);
    /// Disconnects (the broker drops the last will) and stops the network thread.
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    /// Hands a message over to the library; its message id, or nothing when the library refuses it
    /// (no connection for QoS 0, out of memory, a topic it rejects).
    std::optional<int> publish(const std::string& topic, const std::string& payload, int qos, bool retain);
    /// Whether the broker has accepted the connection and it has not been lost since.
    bool connected() const;

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onDisconnect(mosquitto*, void* self, int rc);
    static void onPublish(mosquitto*, void* self, int mid);
    void configure(const Options& options);
    void run(int firstAttempt);

    mosquitto* m_handle = nullptr;
    Listener m_listener;
    std::atomic<bool> m_connected{false}; // written on the network thread only
    std::mutex m_mutex;
    std::condition_variable m_stopped;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace kelvora
