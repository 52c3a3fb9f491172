#include "quality/report/ShiftReport.h"

#include "data/BoundQuery.h"
#include "data/DatabaseError.h"
#include "data/TADOConnection.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace kelvora {

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
constexpr double kOnLimitGrams = 1e-6; // as the average-quantity zones count weights on a limit

/// The rows of the range: the statement's tail and its bound values.
struct Selection {
    QString from;
    QVariantList values;
};

Selection selectionOf(const ReportRange& range, const std::optional<QString>& model, bool weighedOnly) {
    Selection selection{QStringLiteral(" from \"weight\" where \"时间\" between ? and ?"),
                        {reportTimeText(range.from), reportTimeText(range.to)}};
    if (weighedOnly)
        selection.from += QStringLiteral(" and \"重量\" is not null");
    if (model) {
        selection.from += QStringLiteral(" and \"型号\" = ?");
        selection.values << *model;
    }
    return selection;
}

std::int64_t whole(const QVariant& value) {
    return value.toLongLong();
}

// The nominal and limits from `XH`; false for a model the catalogue does not hold.
bool readCatalogue(TADOConnection& connection, const QString& model, QualitySettings& settings) {
    QSqlQuery query =
        boundQuery(connection,
                   QStringLiteral("select \"标准值\", \"上限值\", \"下限值\" from \"XH\" where \"型号\" = ?"), {model});
    if (!query.next())
        return false;
    settings.nominal = query.value(0).toDouble();
    settings.upper = query.value(1).toDouble();
    settings.lower = query.value(2).toDouble();
    return true;
}

// The subgroups of consecutive products, with the squared deviations from the mean, the extremes and
// the average-quantity zones summed per subgroup; the standard deviation and the zone counts follow,
// and for a range longer than `buckets` subgroups the trend's stretches, whole subgroups each.
void readSubgroups(TADOConnection& connection, const ReportRange& range, ModelReport& report, int buckets) {
    const Selection selection = selectionOf(range, report.model, true);
    const double unitEpsilon = kOnLimitGrams / gramsPer(report.settings.unit);
    const QuantityLimits limits = report.quantity ? report.quantity->limits() : QuantityLimits{};
    const double toUnit = 1.0 / gramsPer(report.settings.unit);
    QVariantList values{report.mean, limits.nominal * toUnit - unitEpsilon, limits.tu1 * toUnit - unitEpsilon,
                        limits.tu2 * toUnit - unitEpsilon};
    values << selection.values;
    const QString statement =
        QStringLiteral("select count(*), sum(d), sum(d * d), sum(z0), sum(z1), sum(z2), min(w), max(w), sum(z3),"
                       " sum(z3 * w) from (select"
                       " \"重量\" as w, \"重量\" - ? as d,"
                       " case when \"检定结果\" = '正常' and \"重量\" >= ? then 1 else 0 end as z0,"
                       " case when \"检定结果\" = '正常' and \"重量\" >= ? then 1 else 0 end as z1,"
                       " case when \"检定结果\" = '正常' and \"重量\" >= ? then 1 else 0 end as z2,"
                       " case when \"检定结果\" = '正常' then 1 else 0 end as z3,"
                       " (row_number() over (order by \"时间\", \"id\") - 1) / %1 as g")
            .arg(report.settings.subgroupSize) +
        selection.from + QStringLiteral(") t group by g order by g");
    QSqlQuery query = boundQuery(connection, statement, values);
    double deviations = 0.0, squares = 0.0;
    // Over the packs that left the line (正常), cumulative: at least Qn, at least TU1, at least TU2, all.
    std::int64_t zones[4] = {0, 0, 0, 0};
    double shippedSum = 0.0;
    const std::int64_t size = report.settings.subgroupSize;
    const std::int64_t groups = (report.count + size - 1) / size;
    const bool trend = report.count > buckets * size;
    const std::int64_t perStretch = (groups + buckets - 1) / buckets;
    for (std::int64_t g = 0; query.next(); ++g) {
        const std::int64_t n = whole(query.value(0));
        const double s1 = query.value(1).toDouble(), s2 = query.value(2).toDouble();
        deviations += s1;
        squares += s2;
        for (int i = 0; i < 3; ++i)
            zones[i] += whole(query.value(3 + i));
        zones[3] += whole(query.value(8));
        shippedSum += query.value(9).toDouble();
        if (trend) {
            const double low = query.value(6).toDouble(), high = query.value(7).toDouble();
            if (g % perStretch == 0)
                report.trend.push_back({g * size, 0, low, high});
            TrendBucket& stretch = report.trend.back();
            stretch.count += n;
            stretch.minimum = std::min(stretch.minimum, low);
            stretch.maximum = std::max(stretch.maximum, high);
        }
        if (n == size) {
            const double variance = std::max(0.0, (s2 - s1 * s1 / static_cast<double>(n)) / static_cast<double>(n - 1));
            report.chart.addSubgroup(report.mean + s1 / static_cast<double>(n), std::sqrt(variance));
        }
    }
    if (report.count > 1)
        report.sd = std::sqrt(std::max(0.0, (squares - deviations * deviations / static_cast<double>(report.count)) /
                                                static_cast<double>(report.count - 1)));
    if (report.quantity) {
        const std::int64_t perZone[4] = {zones[0], zones[1] - zones[0], zones[2] - zones[1], zones[3] - zones[2]};
        report.quantity->addCounts(perZone, shippedSum * gramsPer(report.settings.unit));
    }
}

void readHistogram(TADOConnection& connection, const ReportRange& range, ModelReport& report) {
    const Selection selection = selectionOf(range, report.model, true);
    QVariantList values{report.settings.division};
    values << selection.values;
    QSqlQuery query = boundQuery(connection,
                                 QStringLiteral("select cast(round(\"重量\" / ?) as bigint) as k, count(*)") +
                                     selection.from + QStringLiteral(" group by k"),
                                 values);
    while (query.next())
        report.histogram.addCount(whole(query.value(0)), whole(query.value(1)));
}

// The trend's stretches of a range of at most `buckets` subgroups, product by product where there are
// no more than `buckets` products.
void readTrend(TADOConnection& connection, const ReportRange& range, ModelReport& report, int buckets) {
    const Selection selection = selectionOf(range, report.model, true);
    const QString grouped =
        QStringLiteral("select r * %1 / %2 as b, min(r), count(*), min(w), max(w) from (select \"重量\" as w,"
                       " row_number() over (order by \"时间\", \"id\") - 1 as r")
            .arg(buckets)
            .arg(std::max<std::int64_t>(report.count, 1)) +
        selection.from + QStringLiteral(") t group by b order by b");
    QSqlQuery query = boundQuery(connection, grouped, selection.values);
    while (query.next())
        report.trend.push_back(
            {whole(query.value(1)), whole(query.value(2)), query.value(3).toDouble(), query.value(4).toDouble()});
}

// The totals of one model, from its rows of the totals per model and operator.
struct ModelTotals {
    QString model;
    std::int64_t count = 0;
    double sum = 0.0, minimum = 0.0, maximum = 0.0;
    std::int64_t over = 0, normal = 0, under = 0;
    QString firstTime, lastTime;
    std::vector<std::pair<QString, std::int64_t>> operators;

    void add(const QSqlQuery& row) {
        const std::int64_t n = whole(row.value(2));
        const double low = row.value(4).toDouble(), high = row.value(5).toDouble();
        const QString first = row.value(9).toString(), last = row.value(10).toString();
        minimum = count == 0 ? low : std::min(minimum, low);
        maximum = count == 0 ? high : std::max(maximum, high);
        firstTime = count == 0 ? first : std::min(firstTime, first); // ISO times sort as text
        lastTime = count == 0 ? last : std::max(lastTime, last);
        count += n;
        sum += row.value(3).toDouble();
        over += whole(row.value(6));
        normal += whole(row.value(7));
        under += whole(row.value(8));
        operators.emplace_back(row.value(1).toString(), n);
    }
};

ModelReport readModel(TADOConnection& connection, const ReportRange& range, const ModelTotals& totals,
                      const QualitySettings& defaults, int trendBuckets) {
    QualitySettings settings = defaults;
    const bool catalogued = readCatalogue(connection, totals.model, settings);
    const LimitsSource source =
        modelLimits(connection, range, totals.model, catalogued ? std::optional(settings) : std::nullopt, settings);
    // Rows weighed under different limits have no one set to judge them by as a whole: their lots do.
    const bool inCatalogue = source == LimitsSource::Records || (catalogued && source == LimitsSource::Catalogue);
    ModelReport report(settings);
    report.model = totals.model;
    report.inCatalogue = inCatalogue;
    report.limits = source;
    report.count = totals.count;
    report.sum = totals.sum;
    report.mean = report.sum / static_cast<double>(report.count);
    report.minimum = totals.minimum;
    report.maximum = totals.maximum;
    report.over = totals.over;
    report.normal = totals.normal;
    report.under = totals.under;
    report.firstTime = totals.firstTime;
    report.lastTime = totals.lastTime;
    report.operators = totals.operators;
    if (inCatalogue)
        if (const auto limits = quantityLimits(settings.regime, settings.nominal * gramsPer(settings.unit)))
            report.quantity.emplace(*limits);
    readSubgroups(connection, range, report, trendBuckets);
    readHistogram(connection, range, report);
    if (report.trend.empty())
        readTrend(connection, range, report, trendBuckets);

    const auto first = reportTime(report.firstTime);
    const auto last = reportTime(report.lastTime);
    const qint64 span = first.secsTo(last);
    report.perMinute = span > 0 ? static_cast<double>(report.count - 1) * 60.0 / static_cast<double>(span) : 0.0;
    // The frozen baseline's σ within subgroups once there is one, as the live figures use it.
    report.sigma = report.chart.limits() ? report.chart.limits()->sigmaWithin : report.sd;
    if (inCatalogue) {
        const std::optional<double> upper =
            settings.upper > settings.lower ? std::optional(settings.upper) : std::nullopt;
        report.capability = capability(report.mean, report.sigma, settings.lower, upper);
        if (report.quantity)
            report.cplTu1 = capability(report.mean, report.sigma,
                                       report.quantity->limits().tu1 / gramsPer(settings.unit), std::nullopt)
                                .cpl;
    }
    return report;
}

QByteArray csvField(const QString& text) {
    if (!text.contains(u',') && !text.contains(u'"') && !text.contains(u'\n') && !text.contains(u'\r'))
        return text.toUtf8();
    return '"' + QString(text).replace(u'"', QStringLiteral("\"\"")).toUtf8() + '"';
}

QByteArray numberText(const QVariant& value) {
    if (value.isNull())
        return {};
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.toDouble());
    return QByteArray(buffer, static_cast<int>(result.ptr - buffer));
}

// The range's records in the order they were stored: model, weight, verdict, operator, time as text.
QSqlQuery selectRecords(TADOConnection& connection, const ReportRange& range, bool weighedOnly) {
    connection.Open();
    const Selection selection = selectionOf(range, range.model, weighedOnly);
    return boundQuery(connection,
                      QStringLiteral("select \"型号\", \"重量\", \"检定结果\", \"操作员\", cast(\"时间\" as text)") +
                          selection.from + QStringLiteral(" order by \"时间\", \"id\""),
                      selection.values);
}

} // namespace

QDateTime reportTime(const QString& text) {
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (text.size() != 19 || text[10] != u' ' || !date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, Qt::UTC);
}

QString reportTimeText(const QDateTime& time) {
    return time.toString(kTimeFormat);
}

ShiftReport loadShiftReport(TADOConnection& connection, const ReportRange& range, const QualitySettings& defaults,
                            int trendBuckets, const LotRules& lotRules) {
    connection.Open();
    ShiftReport report{range, QDateTime::currentDateTime(), defaults.unit, {}, {}, {}, std::nullopt};
    const Selection selection = selectionOf(range, range.model, true);
    QSqlQuery totals = boundQuery(
        connection,
        QStringLiteral("select \"型号\", \"操作员\", count(*), sum(\"重量\"), min(\"重量\"), max(\"重量\"),"
                       " sum(case when \"检定结果\" = '超高' then 1 else 0 end),"
                       " sum(case when \"检定结果\" = '正常' then 1 else 0 end),"
                       " sum(case when \"检定结果\" = '超低' then 1 else 0 end), cast(min(\"时间\") as text), "
                       "cast(max(\"时间\") as text)") +
            selection.from + QStringLiteral(" group by \"型号\", \"操作员\" order by \"型号\", \"操作员\""),
        selection.values);
    // Read whole first: PostgreSQL drops a result that is still being read when the next statement runs.
    // A model's rows follow each other, its name compared case-blind as the engine groups it.
    std::vector<ModelTotals> models;
    while (totals.next()) {
        const QString model = totals.value(0).toString();
        if (models.empty() || models.back().model.compare(model, Qt::CaseInsensitive) != 0) {
            models.emplace_back();
            models.back().model = model;
        }
        models.back().add(totals);
    }
    totals.finish();
    for (const ModelTotals& model : models)
        report.models.push_back(readModel(connection, range, model, defaults, trendBuckets));
    report.lots = loadLots(connection, range, defaults, lotRules);
    report.checks = loadChecks(connection, range);
    for (ModelReport& model : report.models) {
        if (!model.quantity)
            continue;
        LotWeights shipped;
        for (const LotReport& lot : report.lots)
            if (lot.model.compare(model.model, Qt::CaseInsensitive) == 0)
                for (const auto& [grams, count] : lot.shipped.entries())
                    shipped.add(grams, count);
        model.readiness = lotReadiness(shipped, model.quantity->limits(), defaults.regime);
    }
    return report;
}

std::vector<WeighingRecord> loadRecords(TADOConnection& connection, const ReportRange& range) {
    QSqlQuery query = selectRecords(connection, range, true);
    std::vector<WeighingRecord> records;
    while (query.next())
        records.push_back({query.value(0).toString().toStdString(), query.value(1).toDouble(),
                           query.value(2).toString().toStdString(), query.value(3).toString().toStdString(),
                           query.value(4).toString().left(19).toStdString()});
    return records;
}

std::optional<QualitySettings> catalogueSettings(TADOConnection& connection, const QString& model,
                                                 const QualitySettings& defaults) {
    connection.Open();
    QualitySettings settings = defaults;
    if (!readCatalogue(connection, model, settings))
        return std::nullopt;
    return settings;
}

QStringList catalogueModels(TADOConnection& connection) {
    connection.Open();
    QSqlQuery query = boundQuery(connection, QStringLiteral("select \"型号\" from \"XH\" order by \"型号\""), {});
    QStringList models;
    while (query.next())
        models << query.value(0).toString();
    return models;
}

std::int64_t writeRecordsCsv(TADOConnection& connection, const ReportRange& range, const QString& path) {
    QSqlQuery query = selectRecords(connection, range, false);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw DatabaseError(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    QByteArray text("\xEF\xBB\xBF");
    text += QStringLiteral("型号,重量,检定结果,操作员,时间\r\n").toUtf8();
    std::int64_t rows = 0;
    auto write = [&] {
        if (file.write(text) != text.size())
            throw DatabaseError(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
        text.clear();
    };
    while (query.next()) {
        text += csvField(query.value(0).toString()) + ',' + numberText(query.value(1)) + ',' +
                csvField(query.value(2).toString()) + ',' + csvField(query.value(3).toString()) + ',' +
                csvField(query.value(4).toString()) + "\r\n";
        ++rows;
        if (text.size() > (1 << 20))
            write();
    }
    write();
    if (!file.flush())
        throw DatabaseError(QStringLiteral("Cannot write '%1': %2").arg(path, file.errorString()));
    return rows;
}

} // namespace kelvora
