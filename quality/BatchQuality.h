#pragma once

#include "quality/AverageQuantity.h"
#include "quality/BatchStatistics.h"
#include "quality/Capability.h"
#include "quality/ControlChart.h"
#include "quality/Histogram.h"
#include "quality/LotInspection.h"
#include "quality/NetContentRules.h"
#include "weighing/ProductRecorder.h"

#include <cstddef>
#include <optional>
#include <string>

namespace kelvora {

/// The model and settings a batch is judged by. Weights, the nominal and the limits are in the line's
/// unit.
struct QualitySettings {
    double nominal = 0.0; ///< `XH`.`标准值`, the nominal quantity Qn
    double upper = 0.0;   ///< `XH`.`上限值`; no upper limit applies when it is not above the lower one
    double lower = 0.0;   ///< `XH`.`下限值`
    WeightUnit unit = WeightUnit::Kilogram;
    double division = 0.001; ///< the scale division d, in the line's unit
    int subgroupSize = 5;
    int baselineSubgroups = 20;
    RuleSet rules = RuleSet::WesternElectric;
    Regime regime = Regime::China; ///< the net-content rules the lot is judged by
};

/// Every figure of one batch, fed product by product. A batch may run for days: its chart keeps the
/// newest kChartKept subgroups at least (see XbarSChart), every other figure is a running sum.
class BatchQuality {
public:
    static constexpr std::size_t kChartKept = 1000;

    /// Throws std::invalid_argument for settings the chart or the histogram refuse.
    explicit BatchQuality(const QualitySettings& settings);

    void add(double weight, Verdict verdict, double timeSeconds);
    /// A stored row; false (and nothing counted) for an unknown verdict text or a time that is not
    /// "YYYY-MM-DD HH:MM:SS".
    bool add(const WeighingRecord& record);

    const QualitySettings& settings() const { return m_settings; }
    const BatchStatistics& statistics() const { return m_statistics; }
    /// The net-content rules over the packs that left the line (verdict 正常; the rejected ones were
    /// taken off it); nothing where the regime's table does not cover the nominal.
    const std::optional<AverageQuantityCheck>& quantity() const { return m_quantity; }
    /// The packs that left the line, in grams.
    const LotWeights& shipped() const { return m_shipped; }
    /// Would the packs that left the line pass an official check (see lotReadiness)? Nothing where the
    /// rules do not apply or nothing left the line yet.
    std::optional<LotReadiness> readiness() const;
    const XbarSChart& chart() const { return m_chart; }
    XbarSChart& chart() { return m_chart; }
    const Histogram& histogram() const { return m_histogram; }

    /// The σ for the capability indices: within the subgroups (s̄/c4) once the chart's baseline is
    /// frozen, else the batch's standard deviation.
    double sigma() const;
    /// Against the model's limits.
    Capability capability() const;
    /// CPL against TU1 (converted to the line's unit); nothing where the rules do not apply.
    std::optional<double> cplTu1() const;

private:
    QualitySettings m_settings;
    BatchStatistics m_statistics;
    std::optional<AverageQuantityCheck> m_quantity;
    LotWeights m_shipped;
    XbarSChart m_chart;
    Histogram m_histogram;
};

/// Seconds since 1970-01-01 00:00:00 of a local time "YYYY-MM-DD HH:MM:SS", read as if it were UTC
/// (differences are right except across a change of daylight saving time); nothing for another text.
std::optional<double> secondsOfTimeText(const std::string& text);

} // namespace kelvora
