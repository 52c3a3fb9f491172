#include "feed/MqttClient.h"

#include <algorithm>
#include <chrono>
#include <mosquitto.h>
#include <mutex>

namespace kelvora {

namespace {

constexpr std::chrono::milliseconds kFirstDelay{1000};
constexpr std::chrono::milliseconds kLastDelay{10000};
constexpr std::chrono::milliseconds kCloseWait{1000};

std::string describe(int rc) {
    return mosquitto_strerror(rc);
}

void check(int rc, const std::string& what) {
    if (rc != MOSQ_ERR_SUCCESS) {
        throw MqttError(what + ": " + describe(rc));
    }
}

} // namespace

MqttClient::MqttClient(const Options& options, Listener listener) : m_listener(std::move(listener)) {
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mosquitto_lib_init(); });
    if (options.host.empty()) {
        throw MqttError("no broker host");
    }
    if (options.port < 1 || options.port > 65535) {
        throw MqttError("broker port " + std::to_string(options.port) + " is out of range");
    }
    m_handle = mosquitto_new(options.clientId.empty() ? nullptr : options.clientId.c_str(), true, this);
    if (!m_handle) {
        throw MqttError("cannot create the MQTT client");
    }
    try {
        configure(options);
    } catch (...) {
        mosquitto_destroy(m_handle);
        throw;
    }
    // A broker that is down now is not an error: the network thread keeps trying.
    const int first = mosquitto_connect_async(m_handle, options.host.c_str(), options.port, options.keepAliveSeconds);
    m_thread = std::thread([this, first] { run(first); });
}

// The library's own loop thread gives up when the very first connection fails, so the loop is ours:
// mosquitto_loop until the connection fails, then a wait and a new attempt.
void MqttClient::run(int rc) {
    auto delay = kFirstDelay;
    while (true) {
        {
            std::unique_lock lock(m_mutex);
            if (m_stopping) {
                break;
            }
            if (rc != MOSQ_ERR_SUCCESS) {
                if (m_stopped.wait_for(lock, delay, [this] { return m_stopping; })) {
                    break;
                }
                delay = std::min(delay * 2, kLastDelay);
            }
        }
        if (rc != MOSQ_ERR_SUCCESS) {
            rc = mosquitto_reconnect_async(m_handle);
            continue;
        }
        rc = mosquitto_loop(m_handle, 100, 1);
        if (m_connected) {
            delay = kFirstDelay;
        }
    }
}

void MqttClient::configure(const Options& options) {
    check(mosquitto_int_option(m_handle, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311), "MQTT protocol");
    if (!options.user.empty()) {
        check(mosquitto_username_pw_set(m_handle, options.user.c_str(),
                                        options.password.empty() ? nullptr : options.password.c_str()),
              "MQTT user");
    }
    if (!options.caFile.empty()) {
        check(mosquitto_tls_set(m_handle, options.caFile.c_str(), nullptr, nullptr, nullptr, nullptr),
              "CA file " + options.caFile);
    }
    if (!options.willTopic.empty()) {
        check(mosquitto_will_set(m_handle, options.willTopic.c_str(), static_cast<int>(options.willPayload.size()),
                                 options.willPayload.data(), 1, true),
              "last will");
    }
    mosquitto_threaded_set(m_handle, true); // publish() comes from other threads than the loop's
    mosquitto_connect_callback_set(m_handle, &MqttClient::onConnect);
    mosquitto_disconnect_callback_set(m_handle, &MqttClient::onDisconnect);
    mosquitto_publish_callback_set(m_handle, &MqttClient::onPublish);
}

MqttClient::~MqttClient() {
    // A DISCONNECT the broker receives drops the last will; the loop sends it within the next round.
    if (m_connected && mosquitto_disconnect(m_handle) == MOSQ_ERR_SUCCESS) {
        const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
        while (m_connected && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_stopped.notify_all();
    m_thread.join();
    mosquitto_destroy(m_handle);
}

std::optional<int> MqttClient::publish(const std::string& topic, const std::string& payload, int qos, bool retain) {
    int mid = 0;
    const int rc =
        mosquitto_publish(m_handle, &mid, topic.c_str(), static_cast<int>(payload.size()), payload.data(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS) {
        return std::nullopt;
    }
    return mid;
}

bool MqttClient::connected() const {
    return m_connected.load();
}

void MqttClient::onConnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    client->m_connected = rc == 0;
    if (rc == 0 && client->m_listener.connectionChanged) {
        client->m_listener.connectionChanged(true);
    }
}

void MqttClient::onDisconnect(mosquitto*, void* self, int) {
    auto* client = static_cast<MqttClient*>(self);
    const bool was = client->m_connected.exchange(false);
    if (was && client->m_listener.connectionChanged) {
        client->m_listener.connectionChanged(false);
    }
}

void MqttClient::onPublish(mosquitto*, void* self, int mid) {
    auto* client = static_cast<MqttClient*>(self);
    if (client->m_listener.delivered) {
        client->m_listener.delivered(mid);
    }
}

} // namespace kelvora
