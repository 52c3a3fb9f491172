#pragma once

#include "app/config/StationConfig.h"
#include "weighing/ProductRecorder.h"

#include <memory>

#include <QString>

namespace kelvora {

class StatisticsWindow;
class TForm1;

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
    /// 统计: shows the window beside the main window and brings it to the front.
    void open();
    /// The station closes: so does the window.
    void close();

    /// The window; nullptr before the first run or press of 统计.
    StatisticsWindow* window() const { return m_window.get(); }
    /// An alert is scrolling in the marquee pane.
    bool alerting() const { return m_alerting; }

private:
    /// The station's section 统计 of Option.ini.
    StatisticsSettings loadSettings() const;
    /// The window, made with `settings` when there is none yet.
    StatisticsWindow& ensureWindow(const StatisticsSettings& settings);
    void showAlert(const QString& text);
    void clearAlert();

    TForm1& m_form;
    std::unique_ptr<StatisticsWindow> m_window;
    QString m_caption; // the marquee's own caption, shown again after an alert
    bool m_alerting = false;
};

} // namespace kelvora
