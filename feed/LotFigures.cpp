#include "feed/LotFigures.h"

#include "feed/JsonText.h"

namespace kelvora {

namespace {

const char* alertKind(AlertKind kind) {
    switch (kind) {
    case AlertKind::RejectRun:
        return "rejectRun";
    case AlertKind::BelowTu2:
        return "belowTu2";
    case AlertKind::Tu1Share:
        return "tu1Share";
    case AlertKind::ChartRule:
        return "chartRule";
    }
    return "quality";
}

} // namespace

LotFigures::LotFigures(const QualitySettings& settings, int rejectRun) : m_settings(settings), m_rejectRun(rejectRun) {
    BatchQuality check(settings); // refuses bad settings now, not at the first verdict
    QualityAlerts alerts(rejectRun);
}

void LotFigures::startLot(const WeighingRecord& verdict) {
    QualitySettings settings = m_settings;
    settings.nominal = verdict.standard.value_or(0.0);
    settings.lower = verdict.lower.value_or(0.0);
    settings.upper = verdict.upper.value_or(0.0);
    m_batch = std::make_unique<BatchQuality>(settings);
    m_alerts = std::make_unique<QualityAlerts>(m_rejectRun);
    m_lot = verdict.lot;
    m_model = verdict.model;
    m_recent.clear();
    m_open.clear();
}

std::vector<StationAlert> LotFigures::add(const WeighingRecord& verdict, double seconds) {
    const std::optional<Verdict> judged = parseVerdict(verdict.verdict);
    if (!judged) {
        return {};
    }
    if (!m_batch || verdict.lot != m_lot || verdict.model != m_model) {
        startLot(verdict);
    }
    if (!m_batch->add(verdict)) {
        return {}; // a time the quality library cannot read
    }
    m_lastMinute.push_back(seconds);
    while (!m_lastMinute.empty() && m_lastMinute.front() <= seconds - 60.0) {
        m_lastMinute.pop_front();
    }
    m_recent.push_back(verdict.weight);
    if (m_recent.size() > kRecentWeights) {
        m_recent.pop_front();
    }
    if (*judged == Verdict::Normal) {
        m_open.clear();
    }
    std::vector<StationAlert> raised;
    for (const QualityAlert& alert : m_alerts->check(*m_batch, verdict.weight, *judged, verdict.time)) {
        raised.push_back({alertKind(alert.kind), alert.time, alert.text});
    }
    m_open.insert(m_open.end(), raised.begin(), raised.end());
    return raised;
}

std::int64_t LotFigures::perMinute(double seconds) const {
    std::int64_t n = 0;
    for (const double t : m_lastMinute) {
        n += t > seconds - 60.0 ? 1 : 0;
    }
    return n;
}

std::string LotFigures::json(const std::string& station, const std::string& time, double seconds) const {
    JsonText json;
    json.add("station", station).add("time", time).add("lot", m_lot).add("model", m_model);
    const QualitySettings& settings = m_batch ? m_batch->settings() : m_settings;
    json.add("nominal", settings.nominal).add("lower", settings.lower).add("upper", settings.upper);
    json.add("unit", settings.unit == WeightUnit::Gram ? "g" : "kg");
    const std::int64_t n = count();
    json.add("count", n);
    if (n == 0) {
        json.add("normal", 0).add("over", 0).add("under", 0).add("rejectPercent", 0.0);
        json.addNull("mean").addNull("sd").addNull("min").addNull("max").addNull("meanMinusNominal");
        json.addNull("lotVerdict");
    } else {
        const BatchStatistics& s = m_batch->statistics();
        json.add("normal", s.normal()).add("over", s.over()).add("under", s.under());
        json.add("rejectPercent", 100.0 * static_cast<double>(s.over() + s.under()) / static_cast<double>(n));
        json.add("mean", s.weights().mean()).add("sd", s.weights().standardDeviation());
        json.add("min", s.weights().minimum()).add("max", s.weights().maximum());
        json.add("meanMinusNominal", s.giveaway(settings.nominal));
        // The average-quantity rules judge the lot where they apply (Qn from 5 g to 25 kg).
        if (const auto& quantity = m_batch->quantity()) {
            json.add("lotVerdict", quantity->passes() ? "合格" : "不合格");
        } else {
            json.addNull("lotVerdict");
        }
    }
    json.add("ratePerMinute", perMinute(seconds));
    json.add("recent", std::vector<double>(m_recent.begin(), m_recent.end()));
    std::string alerts = "[";
    for (const StationAlert& alert : m_open) {
        alerts += (alerts.size() > 1 ? "," : "") +
                  JsonText().add("kind", alert.kind).add("time", alert.time).add("text", alert.text).text();
    }
    json.addRaw("alerts", alerts + "]");
    return json.text();
}

} // namespace kelvora
