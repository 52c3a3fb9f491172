#include "tests/support/MqttSubscriber.h"

#include <mosquitto.h>
#include <stdexcept>

namespace kelvora::test {

MqttSubscriber::MqttSubscriber(int port, const std::string& filter, const std::string& clientId, bool cleanSession)
    : m_filter(filter) {
    mosquitto_lib_init();
    m_handle = mosquitto_new(clientId.empty() ? nullptr : clientId.c_str(), cleanSession, this);
    mosquitto_connect_callback_set(m_handle, &MqttSubscriber::onConnect);
    mosquitto_subscribe_callback_set(m_handle, &MqttSubscriber::onSubscribe);
    mosquitto_message_callback_set(m_handle, &MqttSubscriber::onMessage);
    mosquitto_reconnect_delay_set(m_handle, 1, 1, false);
    mosquitto_connect_async(m_handle, "127.0.0.1", port, 10);
    mosquitto_loop_start(m_handle);
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, std::chrono::seconds(5), [this] { return m_subscribed; })) {
        lock.unlock();
        this->~MqttSubscriber();
        throw std::runtime_error("the subscription to " + filter + " was not confirmed");
    }
}

MqttSubscriber::~MqttSubscriber() {
    if (m_handle) {
        mosquitto_disconnect(m_handle);
        mosquitto_loop_stop(m_handle, false);
        mosquitto_destroy(m_handle);
        m_handle = nullptr;
    }
}

void MqttSubscriber::onConnect(mosquitto* handle, void* self, int rc) {
    if (rc == 0) {
        mosquitto_subscribe(handle, nullptr, static_cast<MqttSubscriber*>(self)->m_filter.c_str(), 1);
    }
}

void MqttSubscriber::onSubscribe(mosquitto*, void* self, int, int, const int*) {
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    const std::lock_guard lock(subscriber->m_mutex);
    subscriber->m_subscribed = true;
    subscriber->m_changed.notify_all();
}

void MqttSubscriber::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* subscriber = static_cast<MqttSubscriber*>(self);
    const std::lock_guard lock(subscriber->m_mutex);
    subscriber->m_messages.push_back(
        {message->topic,
         std::string(static_cast<const char*>(message->payload), static_cast<std::size_t>(message->payloadlen)),
         message->retain, std::chrono::steady_clock::now()});
    subscriber->m_changed.notify_all();
}

std::vector<MqttSubscriber::Message> MqttSubscriber::messages() const {
    const std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<std::string> MqttSubscriber::payloads(const std::string& topic) const {
    std::vector<std::string> result;
    for (const Message& message : messages()) {
        if (message.topic == topic) {
            result.push_back(message.payload);
        }
    }
    return result;
}

bool MqttSubscriber::waitFor(const std::function<bool(const std::vector<Message>&)>& done,
                             std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return done(m_messages); });
}

bool MqttSubscriber::waitForCount(const std::string& topic, std::size_t count,
                                  std::chrono::milliseconds timeout) const {
    return waitFor(
        [&](const std::vector<Message>& all) {
            std::size_t n = 0;
            for (const Message& message : all) {
                n += message.topic == topic ? 1 : 0;
            }
            return n >= count;
        },
        timeout);
}

} // namespace kelvora::test
