#pragma once

#include <QObject>
#include <QString>

namespace kelvora {

/// The run's own events in the station's audit trail: Start and Continue with the model, its limits and
/// the lot; Stop with the model and the count; Zero with the old and the new offset; the indicator falling
/// silent and speaking again; a port failure; the batch values changed in the main window.
///
/// Each event is written from the event loop after the step that caused it, so a weighing step is never
/// cut short by the trail: a trail that cannot be written shows in the standard error box. Nothing is
/// written while the program keeps no trail (AuditTrail::configured()).
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

private:
    void post(const QString& event, const QString& object, const QString& oldValue, const QString& newValue,
              const QString& note);

    QString m_batchCount;
    QString m_batchReminder;
};

} // namespace kelvora
