#pragma once

#include "feed/StationStatus.h"
#include "feed/VerdictJournal.h"
#include "quality/BatchQuality.h"
#include "quality/QualityAlerts.h"

#include <cstddef>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace kelvora {

/// The live lot's figures as the plant sees them, verdict by verdict: the batch figures of the quality
/// library (counts, mean, spread, the average-quantity rules), the rate over the last minute, the last
/// 50 weights and the alerts still open. A lot ends where the verdicts' lot or model changes. An alert
/// stays open until the next good product, as the station's marquee shows it.
class LotFigures {
public:
    static constexpr std::size_t kRecentWeights = 50;

    /// settings: the line's unit, division and chart settings (nominal and limits come with the verdicts);
    /// rejectRun: the run of rejects that alerts. Throws std::invalid_argument for settings the quality
    /// library refuses.
    LotFigures(const QualitySettings& settings, int rejectRun);

    /// Counts a verdict that came at seconds (a steady clock); returns the alerts it raised. A verdict
    /// with an unknown verdict text is not counted.
    std::vector<StationAlert> add(const WeighingRecord& verdict, double seconds);

    /// The figures as JSON at seconds (same clock as add), with station, time and the open alerts.
    std::string json(const std::string& station, const std::string& time, double seconds) const;

    std::int64_t count() const { return m_batch ? m_batch->statistics().count() : 0; }
    /// Products in the minute up to seconds.
    std::int64_t perMinute(double seconds) const;
    const std::vector<StationAlert>& openAlerts() const { return m_open; }

private:
    void startLot(const WeighingRecord& verdict);

    QualitySettings m_settings;
    int m_rejectRun;
    std::string m_lot;
    std::string m_model;
    std::unique_ptr<BatchQuality> m_batch;
    std::unique_ptr<QualityAlerts> m_alerts;
    std::deque<double> m_lastMinute; // arrival seconds of the verdicts of the last minute
    std::deque<double> m_recent;     // the last kRecentWeights weights, oldest first
    std::vector<StationAlert> m_open;
};

} // namespace kelvora
