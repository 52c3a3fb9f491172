#include "feed/StationFeed.h"

#include <algorithm>
#include <ctime>
#include <exception>

namespace kelvora {

namespace {

constexpr std::size_t kAlertsKept = 100;
constexpr std::chrono::seconds kRetry{1};
constexpr std::chrono::seconds kCloseWait{2};

std::string localTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

} // namespace

StationFeed::StationFeed(const FeedSettings& settings, VerdictJournal& journal)
    : m_settings(settings), m_messages(settings.prefix, settings.station), m_journal(journal),
      m_figures(settings.quality, settings.rejectRun) {
    MqttClient::Options broker = settings.broker;
    broker.willTopic = m_messages.topic("state");
    broker.willPayload = m_messages.offline("");
    m_client = std::make_unique<MqttClient>(
        broker, MqttClient::Listener{[this](bool up) { connectionChanged(up); }, [this](int mid) { delivered(mid); }});
    m_worker = std::thread([this] { run(); });
    // Verdicts appended from now on are new ones, not history: wait until the worker has read the journal.
    Lock lock(m_mutex);
    m_wake.wait_for(lock, kRetry, [this] { return m_started || !m_error.empty(); });
}

StationFeed::~StationFeed() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    m_worker.join();
    m_client.reset();
}

void StationFeed::verdictAppended(const WeighingRecord& verdict) {
    {
        const std::lock_guard lock(m_mutex);
        for (StationAlert& raised : m_figures.add(verdict, seconds())) {
            m_alerts.push_back(std::move(raised));
        }
        while (m_alerts.size() > kAlertsKept) {
            m_alerts.pop_front();
        }
        m_dirty = true;
    }
    m_wake.notify_all();
}

void StationFeed::stateChanged(const StationStatus& status) {
    {
        const std::lock_guard lock(m_mutex);
        if (m_status == status) {
            return;
        }
        m_status = status;
        m_stateDue = m_dirty = true;
    }
    m_wake.notify_all();
}

void StationFeed::alert(const StationAlert& alert) {
    {
        const std::lock_guard lock(m_mutex);
        m_alerts.push_back(alert);
        if (m_alerts.size() > kAlertsKept) {
            m_alerts.pop_front();
        }
        m_dirty = true;
    }
    m_wake.notify_all();
}

std::int64_t StationFeed::publishedUpTo() const {
    const std::lock_guard lock(m_mutex);
    return m_acked;
}

std::string StationFeed::lastError() const {
    const std::lock_guard lock(m_mutex);
    return m_error;
}

double StationFeed::seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
}

void StationFeed::connectionChanged(bool connected) {
    {
        const std::lock_guard lock(m_mutex);
        m_connectedNow = m_connectedNow || connected;
        m_dirty = true;
    }
    m_wake.notify_all();
}

void StationFeed::delivered(int mid) {
    {
        const std::lock_guard lock(m_mutex);
        const auto verdict = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                          [mid](const InFlight& f) { return f.mid == mid && !f.acked; });
        if (verdict != m_inFlight.end()) {
            verdict->acked = true;
        } else if (!m_otherInFlight.erase(mid)) {
            m_earlyAcks.insert(mid); // publish() has not returned its id yet
        }
        while (!m_inFlight.empty() && m_inFlight.front().acked) {
            m_acked = m_inFlight.front().seq;
            m_inFlight.pop_front();
        }
        m_dirty = true;
    }
    m_wake.notify_all();
}

void StationFeed::run() {
    Lock lock(m_mutex);
    startFromJournal(lock);
    m_wake.notify_all();
    auto figuresDue = std::chrono::steady_clock::now();
    while (!m_stopping) {
        // Until the journal is read and while the broker is away, look again every second.
        const bool waiting = !m_started || !m_client->connected();
        m_wake.wait_until(lock, waiting ? std::chrono::steady_clock::now() + kRetry : figuresDue,
                          [this] { return m_stopping || m_dirty; });
        m_dirty = false;
        if (m_stopping) {
            break;
        }
        if (!m_started) {
            startFromJournal(lock);
        }
        if (!m_client->connected()) {
            continue;
        }
        if (std::exchange(m_connectedNow, false)) {
            m_stateDue = m_status.has_value();
            figuresDue = std::chrono::steady_clock::now();
        }
        if (std::exchange(m_stateDue, false)) {
            publishOther(lock, "state", m_messages.state(*m_status, localTimeText()), true);
        }
        while (!m_alerts.empty() && m_client->connected()) {
            const StationAlert alert = m_alerts.front();
            m_alerts.pop_front();
            publishOther(lock, "alert", m_messages.alert(alert), false);
        }
        if (m_started) {
            publishVerdicts(lock);
            saveCursor(lock);
        }
        if (std::chrono::steady_clock::now() >= figuresDue) {
            publishOther(lock, "figures", m_figures.json(m_messages.station(), localTimeText(), seconds()), true);
            figuresDue = std::chrono::steady_clock::now() + m_settings.figuresInterval;
        }
    }
    finish(lock);
}

void StationFeed::startFromJournal(Lock& lock) {
    lock.unlock();
    std::string error;
    std::int64_t from = 0;
    try {
        const std::optional<std::int64_t> published = m_journal.publishedUpTo();
        from = published ? *published : m_journal.lastSeq();
        if (!published) {
            m_journal.setPublishedUpTo(from); // a later start goes on from here, not from the history
        }
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    lock.lock();
    m_error = error;
    if (error.empty()) {
        m_handed = m_acked = m_saved = from;
        m_started = m_dirty = true;
    }
}

void StationFeed::publishVerdicts(Lock& lock) {
    while (m_client->connected() && m_inFlight.size() < m_settings.verdictsInFlight) {
        const std::int64_t after = m_handed;
        const std::size_t room = m_settings.verdictsInFlight - m_inFlight.size();
        lock.unlock();
        std::vector<WeighingRecord> rows;
        std::string error;
        try {
            rows = m_journal.rowsAfter(after, room);
        } catch (const std::exception& failure) {
            error = failure.what();
        }
        lock.lock();
        m_error = error;
        if (rows.empty()) {
            return;
        }
        for (const WeighingRecord& row : rows) {
            const std::string payload = m_messages.verdict(row);
            lock.unlock();
            const std::optional<int> mid = m_client->publish(m_messages.topic("verdict"), payload, 1, false);
            lock.lock();
            if (!mid) {
                return; // the connection went: this verdict and the next wait for the next one
            }
            m_handed = row.seq;
            m_inFlight.push_back({*mid, row.seq, m_earlyAcks.erase(*mid) > 0});
        }
        while (!m_inFlight.empty() && m_inFlight.front().acked) {
            m_acked = m_inFlight.front().seq;
            m_inFlight.pop_front();
        }
    }
}

void StationFeed::publishOther(Lock& lock, const char* topic, const std::string& payload, bool retain) {
    lock.unlock();
    const std::optional<int> mid = m_client->publish(m_messages.topic(topic), payload, 1, retain);
    lock.lock();
    if (mid && !m_earlyAcks.erase(*mid)) {
        m_otherInFlight.insert(*mid);
    }
}

void StationFeed::saveCursor(Lock& lock) {
    if (m_acked <= m_saved) {
        return;
    }
    const std::int64_t seq = m_acked;
    lock.unlock();
    std::string error;
    try {
        m_journal.setPublishedUpTo(seq);
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    lock.lock();
    m_error = error;
    if (error.empty()) {
        m_saved = seq;
    }
}

void StationFeed::finish(Lock& lock) {
    const auto deadline = std::chrono::steady_clock::now() + kCloseWait;
    m_wake.wait_until(lock, deadline, [this] { return m_inFlight.empty() || !m_client->connected(); });
    saveCursor(lock);
    if (m_client->connected()) {
        publishOther(lock, "state", m_messages.offline(localTimeText()), true);
        m_wake.wait_until(lock, deadline, [this] { return m_otherInFlight.empty() || !m_client->connected(); });
    }
}

} // namespace kelvora
