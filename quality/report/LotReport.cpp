#include "quality/report/LotReport.h"

#include "data/DatabaseError.h"
#include "data/TADOConnection.h"
#include "quality/report/ShiftReport.h"

#include <algorithm>
#include <array>
#include <map>

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

QString limitsSourceText(LimitsSource source) {
    switch (source) {
    case LimitsSource::Records:
        return QStringLiteral("记录中的限值");
    case LimitsSource::Changed:
        return QStringLiteral("限值有变化（按批判定）");
    case LimitsSource::Catalogue:
        break;
    }
    return QStringLiteral("产品目录的限值");
}

LimitsSource modelLimits(TADOConnection& connection, const ReportRange& range, const QString& model,
                         const std::optional<QualitySettings>& catalogue, QualitySettings& settings) {
    connection.Open();
    if (!columnsOf(connection).limits)
        return LimitsSource::Catalogue;
    QSqlQuery query(connection.database());
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("select distinct \"标准值\", \"上限值\", \"下限值\" from \"weight\" where \"时间\" "
                                 "between ? and ? and \"重量\" is not null and \"型号\" = ?"));
    query.addBindValue(reportTimeText(range.from));
    query.addBindValue(reportTimeText(range.to));
    query.addBindValue(model);
    if (!query.exec())
        throw DatabaseError(query.lastError().text());
    // The sets the rows were judged by, a row without limits by the catalogue's (none when it lacks them).
    using Limits = std::array<double, 3>;
    std::vector<std::optional<Limits>> sets;
    bool recorded = false;
    while (query.next()) {
        std::optional<Limits> set;
        if (!query.value(0).isNull()) {
            recorded = true;
            set = Limits{query.value(0).toDouble(), query.value(1).toDouble(), query.value(2).toDouble()};
        } else if (catalogue) {
            set = Limits{catalogue->nominal, catalogue->upper, catalogue->lower};
        }
        if (std::find(sets.begin(), sets.end(), set) == sets.end())
            sets.push_back(set);
    }
    if (!recorded)
        return LimitsSource::Catalogue;
    if (sets.size() != 1 || !sets.front())
        return LimitsSource::Changed;
    settings.nominal = (*sets.front())[0];
    settings.upper = (*sets.front())[1];
    settings.lower = (*sets.front())[2];
    return LimitsSource::Records;
}

std::vector<LotReport> loadLots(TADOConnection& connection, const ReportRange& range, const QualitySettings& defaults,
                                const LotRules& rules) {
    connection.Open();
    const Columns columns = columnsOf(connection);
    std::map<QString, std::optional<QualitySettings>> catalogue; // by model, read once
    std::vector<LotReport> lots;
    QString minute, period;
    {
        QSqlQuery query = selectRows(connection, range, columns);
        while (query.next()) {
            const QString model = query.value(0).toString();
            const QString time = query.value(3).toString().left(19);
            const bool recorded = columns.limits && !query.value(6).isNull();
            // Rows come in time order: the period changes once a minute at most.
            if (time.left(16) != minute) {
                minute = time.left(16);
                period = lotPeriod(time, rules);
            }
            const QString station = query.value(4).toString(), lotNumber = query.value(5).toString();
            const double nominal = recorded ? query.value(6).toDouble() : 0.0;
            const double upper = recorded ? query.value(7).toDouble() : 0.0;
            const double lower = recorded ? query.value(8).toDouble() : 0.0;
            // A handful of lots are open at once: looked for from the newest.
            auto found = std::find_if(lots.rbegin(), lots.rend(), [&](const LotReport& lot) {
                return lot.period == period && lot.station == station && lot.lotNumber == lotNumber &&
                       lot.limitsRecorded == recorded && lot.settings.nominal == nominal &&
                       lot.settings.upper == upper && lot.settings.lower == lower &&
                       (lot.model == model || lot.model.compare(model, Qt::CaseInsensitive) == 0);
            });
            if (found == lots.rend()) {
                LotReport lot;
                lot.model = model;
                lot.period = period;
                lot.station = station;
                lot.lotNumber = lotNumber;
                lot.firstTime = time;
                lot.settings = defaults;
                lot.limitsRecorded = recorded;
                lot.inCatalogue = recorded;
                lot.settings.nominal = nominal;
                lot.settings.upper = upper;
                lot.settings.lower = lower;
                lots.push_back(std::move(lot));
                found = lots.rbegin();
            }
            LotReport& lot = *found;
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
