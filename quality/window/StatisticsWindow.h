#pragma once

#include "quality/BatchQuality.h"
#include "quality/window/ControlChartView.h"
#include "quality/window/HistogramView.h"

#include <deque>
#include <memory>
#include <vector>

#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QWidget>

namespace kelvora {

/// The window "统计分析": the figures of one batch as a table ("figuresTable"), the packer's three rules
/// with a green or red mark each ("meanRuleMark", "tu1RuleMark", "tu2RuleMark"), the trend of the
/// individual weights with the limits, Qn, TU1 and TU2, the X̄ and s charts with the points that break a
/// rule marked (the rules named on hover) and the histogram with the limits ("trendChart", "meanChart",
/// "sdChart", "histogramChart"). It is fed verdict by
/// verdict: the figures and marks at once, the charts 100 ms after a verdict for all verdicts since
/// (a drawing costs about the same for one product as for many). The trend shows the newest 500
/// products, the X̄ and s charts the newest 200 subgroups.
/// A window of its own (non-modal) even with a parent.
class StatisticsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTrendProducts = 500;
    static constexpr int kChartSubgroups = 200;

    explicit StatisticsWindow(QWidget* parent = nullptr);

    /// A new batch of `model` judged by `settings`; everything shown so far is cleared. Throws
    /// std::invalid_argument for settings the chart or the histogram refuse.
    void startBatch(const QString& model, const QualitySettings& settings);
    /// One product's stored row; false (nothing counted) for a row the figures cannot read.
    bool addRecord(const WeighingRecord& record);
    /// Many rows (a range from the database), the window redrawn once at the end. Returns the rows
    /// counted.
    std::size_t loadRecords(const std::vector<WeighingRecord>& records);
    /// Draws the charts' new values now (otherwise drawn 100 ms after a verdict).
    void flushCharts();
    /// Freezes the chart's baseline now; false when there is no subgroup yet or it is frozen already.
    bool freezeBaseline();

    /// The figures table, one "name<TAB>value" line per row.
    QString figuresText() const;
    /// The rules the X̄ point of that subgroup breaks, as its hover names them; empty for none.
    QString rulesAt(std::size_t subgroup) const;
    const BatchQuality& batch() const { return *m_batch; }

private:
    void buildLayout();
    void setReferenceLines();
    void appendToCharts(double weight, std::size_t pointsBefore);
    void redrawCharts();
    void refreshFigures();
    void refreshRules();

    QString m_model;
    std::unique_ptr<BatchQuality> m_batch;
    std::deque<double> m_recent; // the newest weights, for a redraw
    std::int64_t m_products = 0;
    QTableWidget* m_figures;
    QLabel* m_modelLabel;
    QLabel* m_rules[3];
    QLabel* m_verdict;
    QPushButton* m_freeze;
    ControlChartView* m_trend;
    ControlChartView* m_means;
    ControlChartView* m_deviations;
    HistogramView* m_histogram;
    QTimer m_drawTimer;
};

} // namespace kelvora
