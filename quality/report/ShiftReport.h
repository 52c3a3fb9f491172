#pragma once

#include "quality/BatchQuality.h"
#include "quality/report/CheckStore.h"
#include "quality/report/LotReport.h"
#include "quality/report/ReportIntegrity.h"

#include <cstdint>
#include <optional>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace kelvora {

class TADOConnection;

/// What a report covers: the records of `weight` from `from` to `to` (local times, both included),
/// of one model or of every model found.
struct ReportRange {
    QDateTime from;
    QDateTime to;
    std::optional<QString> model;
};

/// Products of a stretch of the trend chart: consecutive products from `first` on, their lightest and
/// heaviest weight (a chart of any length keeps its extremes).
struct TrendBucket {
    std::int64_t first = 0;
    std::int64_t count = 0;
    double minimum = 0.0;
    double maximum = 0.0;
};

/// One model's figures over the range.
struct ModelReport {
    QString model;
    bool inCatalogue = false; ///< its nominal and limits are known (from its rows or from `XH`)
    /// Where its nominal and limits come from: the rows (each row holds the ones in force), the catalogue
    /// (rows without them), or neither because the rows were weighed under different limits: the rules
    /// are then judged per lot only.
    LimitsSource limits = LimitsSource::Catalogue;
    QualitySettings settings;
    std::int64_t count = 0; ///< products with a weight
    double mean = 0.0;
    double sd = 0.0;
    double minimum = 0.0;
    double maximum = 0.0;
    double sum = 0.0;
    std::int64_t over = 0;
    std::int64_t normal = 0;
    std::int64_t under = 0;
    QString firstTime; ///< "YYYY-MM-DD HH:MM:SS"
    QString lastTime;
    double perMinute = 0.0; ///< products per minute from the first to the last
    std::optional<AverageQuantityCheck> quantity;
    XbarSChart chart;
    Histogram histogram;
    std::vector<TrendBucket> trend;
    /// The operators who weighed, with their counts, by name.
    std::vector<std::pair<QString, std::int64_t>> operators;
    Capability capability;
    std::optional<double> cplTu1;
    double sigma = 0.0; ///< the σ of the capability indices
    /// Would the packs of the range that left the line pass an official check (as one lot)?
    std::optional<LotReadiness> readiness;

    explicit ModelReport(const QualitySettings& s)
        : settings(s), chart(s.subgroupSize, s.baselineSubgroups, s.rules), histogram(s.division) {}
};

/// Everything a shift report shows.
struct ShiftReport {
    ReportRange range;
    QDateTime made;
    WeightUnit unit = WeightUnit::Kilogram;
    std::vector<ModelReport> models;
    std::vector<LotReport> lots;     ///< by model, then by period
    std::vector<CheckRecord> checks; ///< the checkweigher's checks of the range, oldest first
    /// The links of the range's rows and the stations' legal counters, when the caller read them
    /// (loadIntegrity; a verification reads every row of the range).
    std::optional<ReportIntegrity> integrity;
};

/// Reads the range's figures per model, the aggregates computed by the engine: counts, sums and
/// extremes per model, the subgroups of the X̄/s chart, the histogram's counts per division and the
/// trend chart's extremes per stretch of at most `trendBuckets` stretches, and the lots cut by `lotRules`.
/// Models by name; a model is judged by the limits its rows hold where they hold them (modelLimits),
/// else by `XH`'s; a model missing from both has no nominal or limits. Throws DatabaseError.
ShiftReport loadShiftReport(TADOConnection& connection, const ReportRange& range, const QualitySettings& defaults,
                            int trendBuckets = 500, const LotRules& lotRules = LotRules{});

/// The range's records with a weight, oldest first (the order they were stored in), for a window that
/// shows each product. Throws DatabaseError.
std::vector<WeighingRecord> loadRecords(TADOConnection& connection, const ReportRange& range);

/// `defaults` with the nominal and limits of `model` from `XH`; nothing for a model the catalogue does
/// not hold. Throws DatabaseError.
std::optional<QualitySettings> catalogueSettings(TADOConnection& connection, const QString& model,
                                                 const QualitySettings& defaults);

/// The models of `XH`, by name. Throws DatabaseError.
QStringList catalogueModels(TADOConnection& connection);

/// Writes the range's records (oldest first) to `path` as CSV for a spreadsheet: UTF-8 with a
/// byte-order mark, a header row 型号,重量,检定结果,操作员,时间, lines ended by CR LF, fields with a comma,
/// quote or line break quoted. Returns the number of records. Throws DatabaseError (also when the file
/// cannot be written).
std::int64_t writeRecordsCsv(TADOConnection& connection, const ReportRange& range, const QString& path);

/// A local time "YYYY-MM-DD HH:MM:SS" as written, held as UTC so that no time-zone rule (a gap at the
/// change to summer time) alters it; invalid for any other text.
QDateTime reportTime(const QString& text);
/// The text of a time from reportTime(), as written.
QString reportTimeText(const QDateTime& time);

} // namespace kelvora
