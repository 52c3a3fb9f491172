#pragma once

#include "quality/BatchQuality.h"
#include "quality/PerformanceCheck.h"
#include "quality/report/CheckStore.h"

#include <memory>
#include <optional>
#include <vector>

#include <QDialog>
#include <QString>
#include <QTimer>

namespace Ui {
class CheckDialog;
}

namespace kelvora {

class TADOConnection;

/// The window "日常检查": a guided check of the line's checkweigher, on the record.
///
/// A performance check ("kindBox" 0): the operator enters the mass of a test weight or reference pack
/// ("referenceEdit", grams) and the number of passes ("passesBox", default 10), chooses the limits (an
/// accuracy class in "classBox" and/or every error within T/5, "fifthBox") and presses "startButton";
/// each reading the station judges (its stored row) is listed ("readingsTable") until the passes are
/// done, then the mean error and the standard deviation are judged and the check is stored.
///
/// A challenge test ("kindBox" 1): the packs to pass are listed with their weights (at the lower limit,
/// short by more than T and by more than 2T, over the upper limit); each verdict must be the one the rules
/// demand and each reject must be followed by an alarm frame on the output line.
///
/// The result is shown in "resultLabel" and stored with the operator and the shift (CheckStore).
class CheckDialog : public QDialog {
    Q_OBJECT
public:
    explicit CheckDialog(QWidget* parent = nullptr);
    ~CheckDialog() override;

    /// The station: its database (nullptr: the result is shown, not stored), the model being weighed with
    /// the settings it is judged by, the operator and the shift now ("YYYY-MM-DD HH:MM").
    void setStation(TADOConnection* connection, const QString& model, const QualitySettings& settings,
                    const QString& operatorName, const QString& shift);

    /// Starts the check chosen; throws std::runtime_error for a test weight that is not a number above
    /// zero, limits that are not a class nor T/5, or (challenge) a model the rules do not cover.
    void start();
    /// Stops the check under way without storing it.
    void cancel();
    bool running() const { return m_running; }

    /// One stored row of the station (counted while a check runs).
    void addRecord(const WeighingRecord& record);
    /// Bytes the station sent on its output line (alarm frames are looked for while a challenge runs).
    void addOutput(const std::uint8_t* data, std::size_t length);

    /// How long a challenge test waits after its last pack for that reject's alarm frame (default 3 s).
    void setAlarmWait(int milliseconds) { m_alarmWait.setInterval(milliseconds); }

    /// The last check finished; nothing before the first.
    const std::optional<CheckRecord>& lastCheck() const { return m_last; }

private:
    void showInstruction();
    void finishPerformance();
    void finishChallenge();
    void store(const QString& kind, bool passed, const QString& summary);

    std::unique_ptr<Ui::CheckDialog> m_ui;
    TADOConnection* m_connection = nullptr;
    QString m_model;
    QualitySettings m_settings;
    QString m_operator;
    QString m_shift;
    bool m_running = false;
    double m_reference = 0.0;
    CheckCriteria m_criteria;
    std::vector<double> m_readings; // grams
    QString m_lastTime;             // the newest row's time: the check's time
    std::optional<ChallengeRun> m_challenge;
    AlarmFrameWatch m_watch;
    std::optional<CheckRecord> m_last;
    QTimer m_alarmWait;
};

} // namespace kelvora
