#include "feed/StationPublisher.h"

#include "app/config/StationConfig.h"
#include "station/StationRuntime.h"
#include "weighing/NumberText.h"

#include <QDateTime>

namespace kelvora {

namespace {

constexpr int kLookMs = 500;

// An edit's number; an edit that does not convert counts as 0 (the weighing refuses it with its message).
double editValue(const std::string& text) {
    try {
        return NumberText::toFloat(text);
    } catch (const std::exception&) {
        return 0.0;
    }
}

std::string now() {
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
}

} // namespace

StationPublisher::StationPublisher(StationRuntime& runtime, StationHost& host, const FeedSettings& settings,
                                   QString journalPath, std::function<bool()> running)
    : m_runtime(runtime), m_host(host), m_running(std::move(running)), m_journal(std::move(journalPath)) {
    m_feed = std::make_unique<StationFeed>(settings, m_journal);
    // The runtime may outlive the publisher or go first (the window's is destroyed before its host): the
    // listener reaches the publisher only while it lives, and the publisher never calls back at its end.
    std::weak_ptr<StationPublisher*> self = m_self;
    m_runtime.setJournaledListener([self](const WeighingRecord& row) {
        if (const auto publisher = self.lock()) {
            (*publisher)->journaled(row);
        }
    });
    QObject::connect(&m_timer, &QTimer::timeout, [this] { refresh(); });
    m_timer.start(kLookMs);
    refresh();
}

StationPublisher::~StationPublisher() = default;

void StationPublisher::journaled(const WeighingRecord& row) {
    m_operator = row.operatorName;
    m_feed->verdictAppended(row);
    refresh();
}

StationStatus StationPublisher::status() const {
    StationStatus s;
    s.running = m_running();
    s.model = m_host.text(Control::ComboBox1);
    s.nominal = editValue(m_host.text(Control::Et1));
    s.upper = editValue(m_host.text(Control::Et2));
    s.lower = editValue(m_host.text(Control::Et3));
    s.count = m_runtime.core().state().ProductCount;
    s.operatorName = m_operator;
    s.indicatorOnline = !m_runtime.core().indicatorSilent();
    const RecordingStatus recording = m_runtime.recordingStatus();
    s.databaseOnline = !recording.recording || recording.online;
    s.databaseWaiting = recording.waiting;
    return s;
}

void StationPublisher::refresh() {
    const StationStatus s = status();
    m_feed->stateChanged(s);
    alertOnChange(m_indicatorSilent, !s.indicatorOnline, "indicatorSilent", "仪表无数据");
    alertOnChange(m_databaseOffline, !s.databaseOnline, "databaseOffline", m_runtime.recordingStatus().offlineText());
}

void StationPublisher::alertOnChange(bool& was, bool now, const char* kind, const std::string& text) {
    if (now && !was) {
        m_feed->alert({kind, kelvora::now(), text});
    }
    was = now;
}

std::unique_ptr<StationPublisher> StationPublisher::start(StationRuntime& runtime, StationHost& host,
                                                          const std::string& iniPath, const QString& journalPath,
                                                          std::function<bool()> running,
                                                          const std::function<void(const std::string&)>& reportError) {
    try {
        const std::optional<FeedSettings> settings = settingsFor(iniPath, runtime.station());
        if (!settings) {
            return nullptr;
        }
        return std::make_unique<StationPublisher>(runtime, host, *settings, journalPath, std::move(running));
    } catch (const std::exception& error) {
        reportError(std::string("MQTT 设置有误，实时数据不发布：") + error.what());
        return nullptr;
    }
}

std::optional<FeedSettings> StationPublisher::settingsFor(const std::string& iniPath, const std::string& station) {
    const MqttSettings mqtt = StationConfig::mqtt(iniPath);
    if (mqtt.host.empty()) {
        return std::nullopt;
    }
    FeedSettings settings;
    settings.broker.host = mqtt.host;
    settings.broker.port = mqtt.port;
    settings.broker.user = mqtt.user;
    settings.broker.password = mqtt.password;
    settings.broker.caFile = mqtt.caFile;
    settings.broker.clientId = mqtt.clientId.empty() ? "kelvora-" + station : mqtt.clientId;
    settings.prefix = mqtt.prefix;
    while (!settings.prefix.empty() && settings.prefix.back() == '/') {
        settings.prefix.pop_back(); // "plant/" names the same level as "plant"
    }
    if (settings.prefix.empty()) {
        settings.prefix = FeedMessages::defaultPrefix(station);
    }
    settings.station = station;
    const StatisticsSettings statistics = StationConfig::loadStatistics(iniPath);
    settings.quality.unit = statistics.grams ? WeightUnit::Gram : WeightUnit::Kilogram;
    settings.quality.division = statistics.division;
    settings.quality.subgroupSize = statistics.subgroupSize;
    settings.quality.baselineSubgroups = statistics.baselineSubgroups;
    settings.quality.rules = statistics.nelson ? RuleSet::Nelson : RuleSet::WesternElectric;
    settings.rejectRun = statistics.rejectRun;
    return settings;
}

} // namespace kelvora
