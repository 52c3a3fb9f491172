#pragma once

#include "data/AuditTrail.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include <QDateTime>
#include <QObject>
#include <QString>

namespace kelvora {

/// The run's own events in the station's audit trail: Start and Continue with the model, its limits and
/// the lot; Stop with the model and the count; Zero with the old and the new offset; the indicator falling
/// silent and speaking again; a port failure; the batch values changed in the main window.
///
/// The events are written in order, with the time and operator of when they happened, by a thread of
/// their own on a connection of its own: a database that is slow, locked or away never holds up the
/// weighing. A trail that cannot be written is said once in the standard error box; the events wait in
/// memory and are tried again every few seconds. Nothing is kept while the program keeps no trail
/// (AuditTrail::configured()).
class RunAudit : public QObject {
public:
    /// The model and the limits a run judges by, as the main window shows them.
    struct Run {
        QString model;
        QString standard;
        QString upper;
        QString lower;
        QString lot; ///< empty: none
    };

    RunAudit() = default;
    /// Waits up to kCloseWaitMs for the events still waiting; the rest are lost with the program.
    ~RunAudit() override;
    static constexpr int kCloseWaitMs = 3000;

    /// Start (continued false) or Continue.
    void started(bool continued, const Run& run);
    void stopped(const QString& model, int productCount);
    void zeroed(double oldOffset, double newOffset);
    /// The indicator fell silent (silent) or spoke again.
    void indicatorSilent(bool silent);
    /// The port `port` failed or could not be opened; `reason` as the error box shows it.
    void portFailed(const QString& port, const QString& reason);

    /// The batch values (批次条数值, 批次提醒值) the station loaded: the state later changes are told from.
    void setBatchValues(const QString& count, const QString& reminder);
    /// The batch values as the main window holds them now: one 批次修改 for each that differs from the last
    /// recorded (or loaded) value.
    void batchValues(const QString& count, const QString& reminder);

    /// Events not yet in the trail.
    std::size_t waiting() const;

private:
    struct Pending {
        AuditTrail::Event event;
        QDateTime time;
        QString operatorName;
        QString target; ///< the trail's database and station when the event happened
        QString station;
    };
    void post(const QString& event, const QString& object, const QString& oldValue, const QString& newValue,
              const QString& note);
    void work();
    /// Writes the event; false (the failure said once) when the trail could not take it.
    bool write(std::unique_ptr<AuditTrail>& trail, const Pending& pending);

    QString m_batchCount;
    QString m_batchReminder;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Pending> m_queue;
    bool m_stop = false;
    bool m_failing = false; // the failure was said; said again only after a success
    std::thread m_thread;
};

} // namespace kelvora
