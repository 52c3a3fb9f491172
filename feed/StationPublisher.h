#pragma once

#include "feed/JournalFeedSource.h"
#include "feed/StationFeed.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <QString>
#include <QTimer>

namespace kelvora {

class StationHost;
class StationRuntime;

/// A station's live feed beside its runtime, on the main thread: every verdict the runtime puts into the
/// journal goes to the feed, and the station's state (running, model and limits, count, operator,
/// indicator and database online) is looked at after each verdict and every half second, published when
/// it changed. The indicator falling silent and the database going away are alerts of their own. The
/// feed only reads the station; nothing it receives reaches it.
class StationPublisher {
public:
    /// journalPath: the runtime's journal file. running: whether the station runs now (its Stop button
    /// is enabled). Throws MqttError for broker options the client refuses.
    StationPublisher(StationRuntime& runtime, StationHost& host, const FeedSettings& settings, QString journalPath,
                     std::function<bool()> running);
    ~StationPublisher();
    StationPublisher(const StationPublisher&) = delete;
    StationPublisher& operator=(const StationPublisher&) = delete;

    /// Publishes the state when it changed since the last look.
    void refresh();
    StationFeed& feed() { return *m_feed; }

    /// The feed's settings for the station at iniPath named station: nothing while [MQTT] Host is empty.
    static std::optional<FeedSettings> settingsFor(const std::string& iniPath, const std::string& station);
    /// The feed of a recording station whose Option.ini sets [MQTT] Host, publishing from the runtime's
    /// journal; nothing without a Host. Broker settings the client refuses go to reportError (in
    /// Chinese) and the station goes on without a feed.
    static std::unique_ptr<StationPublisher> start(StationRuntime& runtime, StationHost& host,
                                                   const std::string& iniPath, const QString& journalPath,
                                                   std::function<bool()> running,
                                                   const std::function<void(const std::string&)>& reportError);

private:
    void journaled(const WeighingRecord& row);
    StationStatus status() const;
    void alertOnChange(bool& was, bool now, const char* kind, const std::string& text);

    StationRuntime& m_runtime;
    StationHost& m_host;
    std::function<bool()> m_running;
    JournalFeedSource m_journal;
    std::unique_ptr<StationFeed> m_feed;
    QTimer m_timer;
    std::string m_operator; // of the last verdict
    bool m_indicatorSilent = false;
    bool m_databaseOffline = false;
    std::shared_ptr<StationPublisher*> m_self = std::make_shared<StationPublisher*>(this);
};

} // namespace kelvora
