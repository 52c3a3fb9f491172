#pragma once

#include "quality/BatchQuality.h"
#include "quality/QualityAlerts.h"
#include "quality/report/LotReport.h"
#include "quality/report/ShiftReport.h"
#include "quality/window/ControlChartView.h"
#include "quality/window/HistogramView.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRect>
#include <QTableWidget>
#include <QTimeEdit>
#include <QTimer>
#include <QWidget>

namespace kelvora {

/// The window "统计分析": the figures of one batch as a table ("figuresTable"), the packer's three rules
/// with a green or red mark each ("meanRuleMark", "tu1RuleMark", "tu2RuleMark"), the trend of the
/// individual weights with the limits, Qn, TU1 and TU2, the X̄ and s charts with the points that break a
/// rule marked (the rules named on hover) and the histogram with the limits ("trendChart", "meanChart",
/// "sdChart", "histogramChart").
///
/// What it shows ("sourceBox"): the live batch, fed verdict by verdict; a range of the database from
/// "fromDate" "fromTime" to "toDate" "toTime" for the model of "modelBox" ("showButton" loads it); or
/// the current shift of the live batch's model, which goes on live. The live batch's alerts are listed
/// with their times ("alertList") whatever is shown; "reportButton" writes the shift report of the range
/// shown, "signReportButton" (there with a signature check) writes it signed. A range or the current
/// shift whose rows of `weight` do not verify (ChainVerifier) shows the red warning "ChainWarning"; the
/// legal counter of each station of the range is shown in "LegalCounter". The figures and marks follow each verdict at
/// once, the charts 100 ms after a verdict for all verdicts since (a drawing costs about the same for one product as
/// for many). The trend shows the newest 500 products, the X̄ and s charts the newest 200 subgroups.
///
/// The lot (批) is judged by the net-content rules of the settings' regime over the packs that left the
/// line; "inspectionReadiness" says whether it would pass an official sampling check (the chance, the
/// lowest filler target that still passes with 99 % and the give-away that target would save), redrawn
/// with the charts. The live lot ends at the end of its shift (or hour, see setLotRules): the next row
/// starts a new one. "lotsTable" lists the lots of the range shown with their verdicts: a range's of its
/// model, the current shift's of every model.
/// A window of its own (non-modal) even with a parent.
class StatisticsWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kTrendProducts = 500;
    static constexpr int kChartSubgroups = 200;
    static constexpr int kAlertsKept = 1000; ///< the alert list keeps the newest

    enum class Source { Batch, Range, Shift };

    explicit StatisticsWindow(QWidget* parent = nullptr);
    ~StatisticsWindow() override;

    /// The station: its database (ranges, the catalogue, the report; nullptr for none), the settings a
    /// range is judged by besides the catalogue's nominal and limits, the folder reports are written to,
    /// the shifts' starts in minutes after midnight (sorted, at least one) and the run of rejects that
    /// alerts. Throws std::invalid_argument for settings the charts refuse or a run below 1.
    void setStation(TADOConnection* connection, const QualitySettings& defaults, const QString& reportFolder,
                    const std::vector<int>& shiftStarts, int rejectRun);

    /// Called before each read of the database, so that it holds what the station has weighed (rows still
    /// on their way from the station's journal); nullptr for none.
    void setRecordsFlush(std::function<void()> flush) { m_flush = std::move(flush); }

    /// The legally relevant settings as "[section] key", for the legal counter (LegalCounter) of the
    /// range shown and of its report.
    void setLegalKeys(const QStringList& keys) { m_legalKeys = keys; }
    /// Checks a signer's password, throwing with the text for the operator when it is refused. With one
    /// the window offers 签名报表 ("signReportButton"); the signature is recorded in the configured audit
    /// trail.
    using PasswordCheck = std::function<void(const QString& signer, const QString& password)>;
    void setSignatureCheck(PasswordCheck check);

    /// How lots are cut (by default per shift of setStation's shift starts).
    void setLotRules(const LotRules& rules) { m_lotRules = rules; }
    const LotRules& lotRules() const { return m_lotRules; }

    /// Where a window of `preferred` size goes on `screen` without covering `avoid` (the main window's
    /// lamps): the side with the most room, its size cut to that room but not below `minimum`.
    static QRect placeBeside(const QRect& screen, const QRect& avoid, const QSize& preferred, const QSize& minimum);

    /// A new live batch of `model` judged by `settings`; shown at once when the live batch is shown.
    /// Throws std::invalid_argument for settings the chart or the histogram refuse.
    void startBatch(const QString& model, const QualitySettings& settings);
    /// One product's stored row of the live batch: its alerts are raised and listed, and what is shown
    /// follows it (the live batch, or the current shift when the row is of the shift's model). False
    /// (nothing counted) for a row the figures cannot read.
    bool addRecord(const WeighingRecord& record);
    /// A run of readings of the live batch that was no product (a disturbance): counted as 干扰.
    void addDisturbance();
    /// Many rows into the figures shown, the window redrawn once at the end. Returns the rows counted.
    std::size_t loadRecords(const std::vector<WeighingRecord>& records);
    /// Draws the charts' new values now (otherwise drawn 100 ms after a verdict).
    void flushCharts();
    /// Freezes the baseline of the chart shown now; false when there is no subgroup yet or it is frozen
    /// already.
    bool freezeBaseline();

    /// Shows the live batch, the range chosen or the current shift (read from the database). A range is
    /// judged by the nominal and limits its rows hold, by the catalogue's for rows without them (rows
    /// weighed under different limits: the catalogue's, said beside the model, the lots judged each by
    /// its own); the shift of the live batch's model by the live batch's. Throws std::runtime_error
    /// without a database, for a range that ends before it starts or a model whose limits neither the
    /// rows nor the catalogue hold; DatabaseError when the database fails.
    void showSource(Source source);
    Source source() const { return m_source; }
    /// Writes the shift report of the range shown as a PDF in the report folder and returns its path.
    /// Throws std::runtime_error without a database or records, or when the file cannot be written.
    QString writeReport();
    /// The same report signed: the password checked first (nothing written when refused), then the PDF
    /// with the signature and its record in the audit trail (writeSignedReport). Throws as writeReport,
    /// and what the signature check throws; std::runtime_error without a check or an audit trail.
    QString writeSignedReport(const QString& signer, const QString& password, const QString& meaning);
    /// 签名报表: the dialog for the signer, the password and the meaning, then the notice of the file.
    void signReport();

    /// The red warning shown ("ChainWarning"); empty when the rows shown verify or a live batch is shown.
    QString chainWarning() const;
    /// The legal counters shown ("LegalCounter").
    QString legalCounterText() const;

    /// The figures table, one "name<TAB>value" line per row.
    QString figuresText() const;
    /// The inspection-readiness sentence shown.
    QString readinessText() const { return m_readiness->text(); }
    /// The lots listed, one "model<TAB>lot<TAB>count<TAB>verdict<TAB>chance" line each.
    QString lotsText() const;
    /// The rules the X̄ point of that subgroup breaks, as its hover names them; empty for none.
    QString rulesAt(std::size_t subgroup) const;
    /// The figures shown.
    const BatchQuality& batch() const { return *m_shown->batch; }
    /// The alerts listed, "YYYY-MM-DD HH:MM:SS  text", oldest first (the newest kAlertsKept).
    QStringList alerts() const;

signals:
    /// A live product raised an alert (the text without its time).
    void alertRaised(const QString& text);

private:
    /// One set of figures with what the charts redraw from.
    struct Figures {
        QString model;
        std::unique_ptr<BatchQuality> batch;
        std::deque<double> recent;     // the newest weights, for a redraw
        std::string first, last;       // the times of the first and the last product
        std::int64_t disturbances = 0; // live batch only: the database keeps no disturbances
        QString period;                // the live lot's shift or hour
    };

    void buildLayout();
    QLayout* buildSourceBar();
    void reset(Figures& figures, const QString& model, const QualitySettings& settings);
    static bool count(Figures& figures, const WeighingRecord& record);
    void showFigures(Figures& figures);
    void loadRange(const ReportRange& range, bool shift);
    ReportRange shownRange() const;
    ReportRange chosenRange() const;
    ReportRange currentShift() const;
    TADOConnection& database() const;
    void listAlert(const QString& time, const QString& text);
    void setReferenceLines();
    void appendToCharts(double weight, std::size_t subgroupsBefore);
    void redrawCharts();
    void refreshFigures();
    void refreshRules();
    void refreshReadiness();
    void showLots(const std::vector<LotReport>& lots);
    QWidget* buildLotsTable();
    void showIntegrity(const ReportRange& range);
    ShiftReport shownReport(QString& path);

    Figures m_live;
    Figures m_other; // a range or the current shift
    Figures* m_shown = &m_live;
    Source m_source = Source::Batch;
    ReportRange m_otherRange;
    QualityAlerts m_alerts;
    TADOConnection* m_connection = nullptr;
    std::function<void()> m_flush;
    QualitySettings m_defaults;
    QString m_reportFolder;
    std::vector<int> m_shiftStarts{0};
    LotRules m_lotRules;
    QStringList m_legalKeys;
    PasswordCheck m_signatureCheck;
    QComboBox* m_sourceBox;
    QComboBox* m_modelBox;
    QDateEdit* m_fromDate;
    QTimeEdit* m_fromTime;
    QDateEdit* m_toDate;
    QTimeEdit* m_toTime;
    QListWidget* m_alertList;
    QTableWidget* m_figures;
    QLabel* m_modelLabel;
    QLabel* m_rules[3];
    QLabel* m_verdict;
    QLabel* m_readiness;
    QTableWidget* m_lots;
    QLabel* m_chainWarning;
    QLabel* m_legalCounter;
    QPushButton* m_signReport;
    QPushButton* m_freeze;
    ControlChartView* m_trend;
    ControlChartView* m_means;
    ControlChartView* m_deviations;
    HistogramView* m_histogram;
    QTimer m_drawTimer;
};

} // namespace kelvora
