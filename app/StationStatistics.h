#pragma once

#include "app/config/StationConfig.h"
#include "quality/BatchQuality.h"
#include "weighing/ProductRecorder.h"

#include <cstddef>
#include <cstdint>
#include <memory>

#include <QString>
#include <QWidget>

namespace kelvora {

class CheckDialog;
class StatisticsWindow;
class TForm1;
class ToolButton;

/// The station's statistics: the one window "统计分析" (created hidden at the first run or the first
/// press of 统计, kept for the program's life), the live batch from Start or Continue with the model in
/// force (its standard weight and limits as the edits hold them), each product's row, and the alerts,
/// which scroll in the main window's marquee pane until the next good product. Settings come from the
/// section 统计 of Option.ini.
class StationStatistics {
public:
    explicit StationStatistics(TForm1& form);
    ~StationStatistics();

    /// A run started (Start or Continue): a new live batch.
    void batchStarted();
    /// One product's row, as stored.
    void productRow(const WeighingRecord& row);
    /// A run of readings that was no product (干扰 in the live batch's figures).
    void glitch();
    /// 统计: shows the window beside the main window (never over its lamps, within the screen) and brings
    /// it to the front.
    void open();
    /// The tool button 日常检查, placed right after `beside` (统计) and shown while it is.
    void addCheckButton(QWidget* beside);
    /// 日常检查: the check window for the model in force, its settings, the operator and the shift.
    void openChecks();
    /// Whether a run may start: with [统计] 开班检查=1 only once a passing performance check of the current
    /// shift is stored; otherwise a notice says so and false is returned.
    bool startAllowed();
    /// Bytes the station sent on its output line (the check window looks for alarm frames).
    void outputSent(const std::uint8_t* data, std::size_t length);
    /// The station closes: so does the window.
    void close();

    /// The window; nullptr before the first run or press of 统计.
    StatisticsWindow* window() const { return m_window.get(); }
    /// The check window; nullptr before the first press of 日常检查.
    CheckDialog* checks() const { return m_checks.get(); }
    /// An alert is scrolling in the marquee pane.
    bool alerting() const { return m_alerting; }

private:
    /// The station's section 统计 of Option.ini.
    StatisticsSettings loadSettings() const;
    /// The window, made with `settings` when there is none yet.
    StatisticsWindow& ensureWindow(const StatisticsSettings& settings);
    void showAlert(const QString& text);
    void clearAlert();
    /// The model's settings as the main window's edits hold them.
    QualitySettings liveSettings(const StatisticsSettings& configured) const;
    /// The start of the shift now, "YYYY-MM-DD HH:MM".
    QString shiftNow(const StatisticsSettings& configured) const;

    TForm1& m_form;
    std::unique_ptr<StatisticsWindow> m_window;
    std::unique_ptr<CheckDialog> m_checks;
    QString m_caption; // the marquee's own caption, shown again after an alert
    bool m_alerting = false;
};

} // namespace kelvora
