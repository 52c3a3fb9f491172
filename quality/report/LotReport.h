#pragma once

#include "quality/BatchQuality.h"
#include "quality/LotInspection.h"
#include "quality/RunningStatistics.h"

#include <cstdint>
#include <optional>
#include <vector>

#include <QString>

namespace kelvora {

class TADOConnection;
struct ReportRange;

/// How the records of a range are cut into lots (批), the unit the net-content rules judge: a model's
/// products of one shift (or of one hour, e-mark's "one hour of output"), apart per station, per lot
/// number and per limits in force where the records hold them.
struct LotRules {
    enum class Split { Shift, Hour };
    Split split = Split::Shift;
    /// The shifts' starts in minutes after midnight (sorted, at least one).
    std::vector<int> shiftStarts{0};
};

/// One lot's figures.
struct LotReport {
    QString model;
    QString station;   ///< `站点`; empty where the records do not hold it
    QString lotNumber; ///< `批号`; empty where none was entered
    QString period;    ///< the start of its shift or hour, "YYYY-MM-DD HH:MM"
    QString firstTime; ///< "YYYY-MM-DD HH:MM:SS"
    QString lastTime;
    QualitySettings settings;    ///< the nominal and limits it was judged by
    bool limitsRecorded = false; ///< they came with the records, else from the catalogue
    bool inCatalogue = false;    ///< the limits are known at all
    RunningStatistics weights;   ///< every product weighed, in the line's unit
    std::int64_t over = 0, normal = 0, under = 0;
    std::optional<AverageQuantityCheck> quantity; ///< over the packs that left the line (正常)
    LotWeights shipped;                           ///< their weights in grams
    std::optional<LotReadiness> readiness;

    /// "合格", "不合格", or "不适用" where the rules do not cover the nominal.
    QString verdictText() const;
};

/// The lots of the range, by model, then period, station and lot number. Each is judged by the limits
/// the records hold (`标准值`, `上限值`, `下限值` of `weight`, where the table has them) or else by the
/// catalogue's, under `defaults`' regime and unit. Throws DatabaseError.
std::vector<LotReport> loadLots(TADOConnection& connection, const ReportRange& range, const QualitySettings& defaults,
                                const LotRules& rules);

/// The lot of a time "YYYY-MM-DD HH:MM:SS": the start of its shift or hour, "YYYY-MM-DD HH:MM".
QString lotPeriod(const QString& time, const LotRules& rules);

/// Where the nominal and limits a model's figures are judged by come from.
enum class LimitsSource {
    Catalogue, ///< no row holds them: the catalogue's (`XH`)
    Records,   ///< the rows hold them, all the same (a row without them agreeing with the catalogue)
    Changed,   ///< the rows were weighed under more than one set: no one set judges them all
};

/// The limits `model`'s rows with a weight in the range were weighed under: each row's own (`标准值`,
/// `上限值`, `下限值`) or, for a row without them, `catalogue` (nullopt: the catalogue lacks the model).
/// For Records `settings` gets the rows' nominal and limits. Throws DatabaseError.
LimitsSource modelLimits(TADOConnection& connection, const ReportRange& range, const QString& model,
                         const std::optional<QualitySettings>& catalogue, QualitySettings& settings);

/// The words of the report for a source: 记录中的限值, 产品目录的限值, 限值有变化（按批判定）.
QString limitsSourceText(LimitsSource source);

} // namespace kelvora
