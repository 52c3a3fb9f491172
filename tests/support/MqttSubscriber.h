#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace kelvora::test {

/// A client that subscribes to a topic filter at QoS 1 and keeps every message it receives, as an MES
/// would: with a fixed client id and a kept session (cleanSession false), the broker queues the messages
/// that come while it is away, even across a broker restart.
class MqttSubscriber {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retained = false;
        std::chrono::steady_clock::time_point arrived;
    };

    /// Connects to 127.0.0.1:port and subscribes; throws std::runtime_error when the subscription is not
    /// confirmed within 5 s.
    MqttSubscriber(int port, const std::string& filter, const std::string& clientId = "", bool cleanSession = true);
    ~MqttSubscriber();
    MqttSubscriber(const MqttSubscriber&) = delete;
    MqttSubscriber& operator=(const MqttSubscriber&) = delete;

    /// Every message so far.
    std::vector<Message> messages() const;
    /// The payloads received on topic so far.
    std::vector<std::string> payloads(const std::string& topic) const;
    /// Waits until done(messages) holds or the time is over; whether it held.
    bool waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    /// Waits until count payloads have come on topic.
    bool waitForCount(const std::string& topic, std::size_t count,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onSubscribe(mosquitto*, void* self, int, int, const int*);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    std::string m_filter;
    mosquitto* m_handle = nullptr;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Message> m_messages;
    bool m_subscribed = false;
};

} // namespace kelvora::test
