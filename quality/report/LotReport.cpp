#include "quality/report/LotReport.h"

#include "data/DatabaseError.h"
#include "data/TADOConnection.h"
#include "quality/report/ShiftReport.h"

#include <algorithm>
#include <map>
#include <tuple>

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace kelvora {

namespace {

// The optional columns of `weight` this database has.
struct Columns {
    bool station = false, lotNumber = false, limits = false;
};

Columns columnsOf(TADOConnection& connection) {
    const QSqlRecord record = connection.database().record(QStringLiteral("weight"));
    return {record.contains(QStringLiteral("站点")), record.contains(QStringLiteral("批号")),
            record.contains(QStringLiteral("标准值")) && record.contains(QStringLiteral("上限值")) &&
                record.contains(QStringLiteral("下限值"))};
}

QSqlQuery selectRows(TADOConnection& connection, const ReportRange& range, const Columns& columns) {
    QString statement = QStringLiteral("select \"型号\", \"重量\", \"检定结果\", cast(\"时间\" as text)");
    statement += columns.station ? QStringLiteral(", \"站点\"") : QStringLiteral(", null");
    statement += columns.lotNumber ? QStringLiteral(", \"批号\"") : QStringLiteral(", null");
    statement +=
        columns.limits ? QStringLiteral(", \"标准值\", \"上限值\", \"下限值\"") : QStringLiteral(", null, null, null");
    statement += QStringLiteral(" from \"weight\" where \"时间\" between ? and ? and \"重量\" is not null");
    if (range.model)
        statement += QStringLiteral(" and \"型号\" = ?");
    statement += QStringLiteral(" order by \"时间\", \"id\"");
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    if (!query.prepare(statement))
        throw DatabaseError(query.lastError().text());
    query.addBindValue(reportTimeText(range.from));
    query.addBindValue(reportTimeText(range.to));
    if (range.model)
        query.addBindValue(*range.model);
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
    return query;
}

// What sets a lot apart: model (case-blind, as the engine compares it), period, station, lot number and
// the limits in force.
using LotKey = std::tuple<QString, QString, QString, QString, double, double, double>;

} // namespace

QString LotReport::verdictText() const {
    if (!quantity)
        return QStringLiteral("不适用");
    return quantity->passes() ? QStringLiteral("合格") : QStringLiteral("不合格");
}

QString lotPeriod(const QString& time, const LotRules& rules) {
    if (rules.split == LotRules::Split::Hour)
        return time.left(13) + QStringLiteral(":00");
    const QDateTime at = reportTime(time.left(19));
    if (!at.isValid())
        return time.left(16);
    const int minute = at.time().hour() * 60 + at.time().minute();
    // The latest start at or before the time: that day's, or the day before's last one.
    const auto later = std::upper_bound(rules.shiftStarts.begin(), rules.shiftStarts.end(), minute);
    const bool dayBefore = later == rules.shiftStarts.begin();
    const int start = dayBefore ? rules.shiftStarts.back() : *(later - 1);
    const QDate date = at.date().addDays(dayBefore ? -1 : 0);
    return date.toString(QStringLiteral("yyyy-MM-dd")) +
           QStringLiteral(" %1:%2").arg(start / 60, 2, 10, QLatin1Char('0')).arg(start % 60, 2, 10, QLatin1Char('0'));
}

std::vector<LotReport> loadLots(TADOConnection& connection, const ReportRange& range, const QualitySettings& defaults,
                                const LotRules& rules) {
    connection.Open();
    const Columns columns = columnsOf(connection);
    std::map<QString, std::optional<QualitySettings>> catalogue; // by model, read once
    std::map<LotKey, std::size_t> index;
    std::vector<LotReport> lots;
    {
        QSqlQuery query = selectRows(connection, range, columns);
        while (query.next()) {
            const QString model = query.value(0).toString();
            const QString time = query.value(3).toString().left(19);
            const bool recorded = columns.limits && !query.value(6).isNull();
            const LotKey key{model.toCaseFolded(),
                             lotPeriod(time, rules),
                             query.value(4).toString(),
                             query.value(5).toString(),
                             recorded ? query.value(6).toDouble() : 0.0,
                             recorded ? query.value(7).toDouble() : 0.0,
                             recorded ? query.value(8).toDouble() : 0.0};
            auto [at, added] = index.try_emplace(key, lots.size());
            if (added) {
                LotReport lot;
                lot.model = model;
                lot.period = std::get<1>(key);
                lot.station = std::get<2>(key);
                lot.lotNumber = std::get<3>(key);
                lot.firstTime = time;
                lot.settings = defaults;
                lot.limitsRecorded = recorded;
                lot.inCatalogue = recorded;
                if (recorded) {
                    lot.settings.nominal = std::get<4>(key);
                    lot.settings.upper = std::get<5>(key);
                    lot.settings.lower = std::get<6>(key);
                }
                lots.push_back(std::move(lot));
            }
            LotReport& lot = lots[at->second];
            const double weight = query.value(1).toDouble();
            const QString verdict = query.value(2).toString();
            lot.weights.add(weight);
            lot.lastTime = time;
            if (verdict == QStringLiteral("超高"))
                ++lot.over;
            else if (verdict == QStringLiteral("超低"))
                ++lot.under;
            else if (verdict == QStringLiteral("正常")) {
                lot.shipped.add(weight * gramsPer(defaults.unit));
                ++lot.normal;
            }
        }
    }
    // Read whole first: PostgreSQL drops a result still being read when the next statement runs.
    for (LotReport& lot : lots) {
        if (!lot.limitsRecorded) {
            auto [cached, added] = catalogue.try_emplace(lot.model.toCaseFolded());
            if (added)
                cached->second = catalogueSettings(connection, lot.model, defaults);
            if (cached->second) {
                lot.settings = *cached->second;
                lot.inCatalogue = true;
            }
        }
        if (!lot.inCatalogue)
            continue;
        const auto limits = quantityLimits(lot.settings.regime, lot.settings.nominal * gramsPer(lot.settings.unit));
        if (!limits)
            continue;
        lot.quantity.emplace(*limits);
        for (const auto& [grams, count] : lot.shipped.entries())
            for (std::int64_t i = 0; i < count; ++i)
                lot.quantity->add(grams);
        lot.readiness = lotReadiness(lot.shipped, *limits, lot.settings.regime);
    }
    std::stable_sort(lots.begin(), lots.end(), [](const LotReport& a, const LotReport& b) {
        const int byModel = a.model.compare(b.model, Qt::CaseInsensitive);
        return byModel != 0 ? byModel < 0 : a.period < b.period;
    });
    return lots;
}

} // namespace kelvora
