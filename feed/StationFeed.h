#pragma once

#include "feed/FeedMessages.h"
#include "feed/LotFigures.h"
#include "feed/MqttClient.h"
#include "feed/StationStatus.h"
#include "feed/VerdictJournal.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

namespace kelvora {

/// Where and as what a station publishes.
struct FeedSettings {
    MqttClient::Options broker; ///< host, port, user, password, CA file, client id
    std::string prefix;         ///< the topics' prefix, e.g. "kelvora/线1"
    std::string station;        ///< the station's name in every payload
    QualitySettings quality;    ///< the line's unit and chart settings for the lot's figures
    int rejectRun = QualityAlerts::kDefaultRejectRun;
    std::chrono::milliseconds figuresInterval{10000};
    std::size_t verdictsInFlight = 100; ///< verdicts handed to the client and not yet acknowledged
};

/// Publishes one station over MQTT (see FeedMessages for the topics) from its own thread, so that the
/// station never waits on the broker or the network.
///
/// Verdicts are read from the journal in order: each is handed to the client once, only while the broker
/// is connected, and the journal keeps the last one the broker acknowledged. While the broker is away
/// they wait in the journal; a restart goes on after the last acknowledged one. So none is lost, and
/// none is sent twice but a verdict that was on its way when the station stopped.
///
/// The state is published, retained, at each change and each connection; the figures every
/// figuresInterval and at each connection; alerts at once, or at the next connection (the newest 100).
/// Nothing received from the broker reaches the station.
class StationFeed {
public:
    /// Starts connecting. Throws MqttError for broker options the client refuses, std::invalid_argument
    /// for quality settings the figures refuse; a journal that cannot be read shows in lastError().
    StationFeed(const FeedSettings& settings, VerdictJournal& journal);
    /// Waits up to 2 s for the verdicts in flight, publishes the offline state, disconnects.
    ~StationFeed();
    StationFeed(const StationFeed&) = delete;
    StationFeed& operator=(const StationFeed&) = delete;

    /// The journal has a new verdict: counted in the figures, published soon. Any thread.
    void verdictAppended(const WeighingRecord& verdict);
    /// The station's state now; published when it differs from the last. Any thread.
    void stateChanged(const StationStatus& status);
    /// An alert of the station's own (the quality alerts come from the verdicts). Any thread.
    void alert(const StationAlert& alert);

    bool connected() const { return m_client->connected(); }
    /// The last verdict the broker acknowledged.
    std::int64_t publishedUpTo() const;
    /// The last failure of the journal, empty when it works.
    std::string lastError() const;

private:
    using Lock = std::unique_lock<std::mutex>;
    struct InFlight {
        int mid;
        std::int64_t seq;
        bool acked;
    };

    void run();
    void startFromJournal(Lock& lock);
    void publishVerdicts(Lock& lock);
    void publishOther(Lock& lock, const char* topic, const std::string& payload, bool retain);
    void saveCursor(Lock& lock);
    void delivered(int mid);
    void connectionChanged(bool connected);
    void finish(Lock& lock);
    double seconds() const;

    const FeedSettings m_settings;
    const FeedMessages m_messages;
    VerdictJournal& m_journal;
    const std::chrono::steady_clock::time_point m_start = std::chrono::steady_clock::now();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_dirty = false;
    bool m_connectedNow = false; // a connection came since the worker last looked
    bool m_started = false;      // the cursor was read from the journal
    std::int64_t m_handed = 0;   // the last verdict handed to the client
    std::int64_t m_acked = 0;    // the last verdict of the acknowledged prefix
    std::int64_t m_saved = 0;    // the last one kept in the journal
    std::deque<InFlight> m_inFlight;
    std::set<int> m_otherInFlight; // the state's, figures' and alerts' message ids
    std::set<int> m_earlyAcks;     // acknowledged before publish() returned
    std::optional<StationStatus> m_status;
    bool m_stateDue = false;
    std::deque<StationAlert> m_alerts;
    LotFigures m_figures;
    std::string m_error;
    std::unique_ptr<MqttClient> m_client;
    std::thread m_worker;
};

} // namespace kelvora
