#include "tools/ReportCommand.h"

#include "DataTestSupport.h"
#include "data/TADOConnection.h"
#include "quality/BatchQuality.h"
#include "quality/report/ShiftReport.h"
#include "tests/support/TestPaths.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using test::Engine;
using test::TestDatabase;

const QString kFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QDateTime kFrom = QDateTime::fromString(QStringLiteral("2024-07-15 06:00:00"), kFormat);
const QDateTime kTo = QDateTime::fromString(QStringLiteral("2024-07-15 14:00:00"), kFormat);

struct Row {
    QString model;
    double weight;
    QString verdict;
    QString operatorName;
    QDateTime time;
};

// 1200 products of B250 (Qn 0.25 kg) every 20 s from the range's start, weights spread around 0.252 by
// a fixed sequence, one below TU2; a few of 饼干-200g; and rows just outside the range at both ends.
std::vector<Row> shift() {
    std::vector<Row> rows;
    for (int i = 0; i < 1200; ++i) {
        const double weight = i == 700 ? 0.2319 : 0.252 + 0.001 * static_cast<double>((i * 37) % 13 - 6);
        const QString verdict = weight > 0.256   ? QStringLiteral("超高")
                                : weight < 0.247 ? QStringLiteral("超低")
                                                 : QStringLiteral("正常");
        rows.push_back({QStringLiteral("B250"), weight, verdict,
                        i < 600 ? QStringLiteral("张三") : QStringLiteral("李,\"四\""), kFrom.addSecs(20 * i)});
    }
    rows.push_back(
        {QStringLiteral("B250"), 0.251, QStringLiteral("正常"), QStringLiteral("张三"), kTo}); // the end is in
    rows.push_back(
        {QStringLiteral("饼干-200g"), 0.2, QStringLiteral("正常"), QStringLiteral("王五"), kFrom.addSecs(5)});
    rows.push_back(
        {QStringLiteral("饼干-200g"), 0.21, QStringLiteral("正常"), QStringLiteral("王五"), kFrom.addSecs(65)});
    rows.push_back({QStringLiteral("B250"), 0.1, QStringLiteral("超低"), QStringLiteral("张三"), kFrom.addSecs(-1)});
    rows.push_back({QStringLiteral("B250"), 0.4, QStringLiteral("超高"), QStringLiteral("张三"), kTo.addSecs(1)});
    return rows;
}

void execOrFail(QSqlQuery& query) {
    ASSERT_TRUE(query.exec()) << query.lastError().text().toStdString();
}

class ReportCommandTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(GetParam());
        if (!m_database)
            GTEST_SKIP() << "PostgreSQL server binaries are not installed";
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        m_connection->Open();
        QSqlQuery query(m_connection->database());
        query.prepare(
            QStringLiteral("insert into \"XH\" (\"型号\", \"标准值\", \"上限值\", \"下限值\") values (?, ?, ?, ?)"));
        query.addBindValue(QStringLiteral("B250"));
        query.addBindValue(0.25);
        query.addBindValue(0.26);
        query.addBindValue(0.24);
        execOrFail(query);
        ASSERT_TRUE(m_connection->database().transaction());
        query.prepare(QStringLiteral("insert into \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\") "
                                     "values (?, ?, ?, ?, ?)"));
        for (const Row& row : shift()) {
            query.addBindValue(row.model);
            query.addBindValue(row.weight);
            query.addBindValue(row.verdict);
            query.addBindValue(row.operatorName);
            query.addBindValue(row.time.toString(kFormat));
            execOrFail(query);
        }
        ASSERT_TRUE(m_connection->database().commit());
    }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
};

TEST_P(ReportCommandTest, TheEnginesAggregatesAgreeWithTheRunningFigures) {
    QualitySettings settings{0.25, 0.26, 0.24};
    BatchQuality expected(settings);
    for (const Row& row : shift())
        if (row.model == QStringLiteral("B250") && row.time >= kFrom && row.time <= kTo)
            expected.add(row.weight, *parseVerdict(row.verdict.toStdString()),
                         static_cast<double>(kFrom.secsTo(row.time)));

    const ShiftReport report = loadShiftReport(*m_connection, {kFrom, kTo, std::nullopt}, QualitySettings{}, 100);
    ASSERT_EQ(report.models.size(), 2u);
    const ModelReport& m = report.models[0];
    EXPECT_EQ(m.model, QStringLiteral("B250"));
    EXPECT_TRUE(m.inCatalogue);
    const auto& s = expected.statistics();
    EXPECT_EQ(m.count, 1201);
    EXPECT_EQ(m.count, s.count());
    EXPECT_EQ(m.over, s.over());
    EXPECT_EQ(m.under, s.under());
    EXPECT_EQ(m.normal, s.normal());
    EXPECT_NEAR(m.mean, s.weights().mean(), 1e-12);
    EXPECT_NEAR(m.sd, s.weights().standardDeviation(), 1e-12);
    EXPECT_EQ(m.minimum, 0.2319);
    EXPECT_EQ(m.maximum, s.weights().maximum());
    EXPECT_EQ(m.firstTime, QStringLiteral("2024-07-15 06:00:00"));
    EXPECT_EQ(m.lastTime, QStringLiteral("2024-07-15 14:00:00"));
    EXPECT_NEAR(m.perMinute, 1200.0 * 60.0 / (8 * 3600), 1e-9);

    ASSERT_TRUE(m.quantity);
    for (auto zone :
         {QuantityZone::AtLeastNominal, QuantityZone::AboveTu1, QuantityZone::AboveTu2, QuantityZone::BelowTu2})
        EXPECT_EQ(m.quantity->zoneCount(zone), expected.quantity()->zoneCount(zone));
    // The pack below TU2 was rejected (超低): it never left the line, the lot passes.
    EXPECT_EQ(m.quantity->zoneCount(QuantityZone::BelowTu2), 0);
    EXPECT_EQ(m.quantity->count(), m.normal);
    EXPECT_TRUE(m.quantity->meanRule());
    EXPECT_TRUE(m.quantity->passes());
    ASSERT_TRUE(m.readiness);
    EXPECT_EQ(m.readiness->passProbability, 1.0); // every shipped pack lies within 0.247 to 0.256 kg
    ASSERT_EQ(report.lots.size(), 2u);            // one shift (from 00:00), one lot per model
    EXPECT_EQ(report.lots[0].period, QStringLiteral("2024-07-15 00:00"));
    EXPECT_EQ(report.lots[0].normal, m.normal);
    EXPECT_FALSE(report.lots[1].quantity); // 饼干-200g is not in the catalogue

    // The same subgroups, limits and rule marks as when fed product by product.
    ASSERT_EQ(m.chart.points().size(), expected.chart().points().size());
    ASSERT_TRUE(m.chart.limits());
    EXPECT_NEAR(m.chart.limits()->centre, expected.chart().limits()->centre, 1e-12);
    EXPECT_NEAR(m.chart.limits()->sBar, expected.chart().limits()->sBar, 1e-12);
    for (std::size_t i = 0; i < m.chart.points().size(); ++i) {
        EXPECT_NEAR(m.chart.points()[i].mean, expected.chart().points()[i].mean, 1e-12) << i;
        EXPECT_NEAR(m.chart.points()[i].sd, expected.chart().points()[i].sd, 1e-9) << i;
        EXPECT_EQ(m.chart.points()[i].broken, expected.chart().points()[i].broken) << i;
    }
    EXPECT_GT(m.chart.alarmedPoints(), 0); // the package below TU2 pulls its subgroup out
    EXPECT_NEAR(*m.capability.cpk, *expected.capability().cpk, 1e-9);
    EXPECT_NEAR(*m.cplTu1, *expected.cplTu1(), 1e-9);

    const auto bins = m.histogram.bins(), expectedBins = expected.histogram().bins();
    ASSERT_EQ(bins.size(), expectedBins.size());
    for (std::size_t i = 0; i < bins.size(); ++i)
        EXPECT_EQ(bins[i].count, expectedBins[i].count) << i;

    // At most 100 stretches of whole subgroups (3 subgroups of 5 each), the extremes kept.
    EXPECT_LE(m.trend.size(), 100u);
    EXPECT_GE(m.trend.size(), 80u);
    std::int64_t products = 0;
    double lowest = 1e9, highest = -1e9;
    for (const TrendBucket& bucket : m.trend) {
        EXPECT_EQ(bucket.first, products);
        products += bucket.count;
        lowest = std::min(lowest, bucket.minimum);
        highest = std::max(highest, bucket.maximum);
    }
    EXPECT_EQ(products, 1201);
    EXPECT_EQ(lowest, m.minimum);
    EXPECT_EQ(highest, m.maximum);

    ASSERT_EQ(m.operators.size(), 2u);
    EXPECT_EQ(m.operators[0], std::make_pair(QStringLiteral("张三"), std::int64_t{601}));
    EXPECT_EQ(m.operators[1], std::make_pair(QStringLiteral("李,\"四\""), std::int64_t{600}));

    const ModelReport& biscuits = report.models[1];
    EXPECT_EQ(biscuits.model, QStringLiteral("饼干-200g"));
    EXPECT_FALSE(biscuits.inCatalogue); // not in XH: no nominal, no rules
    EXPECT_FALSE(biscuits.quantity);
    EXPECT_EQ(biscuits.count, 2);
    EXPECT_DOUBLE_EQ(biscuits.perMinute, 1.0);
    ASSERT_EQ(biscuits.trend.size(), 2u); // a short range product by product
    EXPECT_EQ(biscuits.trend[1].first, 1);
    EXPECT_EQ(biscuits.trend[1].minimum, 0.21);
    EXPECT_EQ(biscuits.operators, (std::vector<std::pair<QString, std::int64_t>>{{QStringLiteral("王五"), 2}}));

    // One model, named in another letter case as the station's statements allow.
    const ShiftReport one = loadShiftReport(*m_connection, {kFrom, kTo, QStringLiteral("b250")}, QualitySettings{});
    ASSERT_EQ(one.models.size(), 1u);
    EXPECT_EQ(one.models[0].count, 1201);
    const ShiftReport empty = loadShiftReport(*m_connection, {kTo.addSecs(2), kTo.addSecs(9), std::nullopt}, {});
    EXPECT_TRUE(empty.models.empty());
}

// Parses CSV text (quoted fields with doubled quotes, CR LF line ends) into rows of fields.
std::vector<QStringList> parseCsv(const QString& text) {
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            row << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << field;
            field.clear();
            rows.push_back(row);
            row.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return rows;
}

TEST_P(ReportCommandTest, TheCsvHoldsTheRangesRecordsForASpreadsheet) {
    const QString path = m_database->folder() + QStringLiteral("/records.csv");
    EXPECT_EQ(writeRecordsCsv(*m_connection, {kFrom, kTo, std::nullopt}, path), 1203);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    ASSERT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const auto rows = parseCsv(QString::fromUtf8(bytes.mid(3)));
    ASSERT_EQ(rows.size(), 1204u);
    EXPECT_EQ(rows[0], QStringList({QStringLiteral("型号"), QStringLiteral("重量"), QStringLiteral("检定结果"),
                                    QStringLiteral("操作员"), QStringLiteral("时间")}));
    EXPECT_EQ(rows[1], QStringList({QStringLiteral("B250"), QStringLiteral("0.246"), QStringLiteral("超低"),
                                    QStringLiteral("张三"), QStringLiteral("2024-07-15 06:00:00")}));
    EXPECT_EQ(rows[2][0], QStringLiteral("饼干-200g")); // oldest first
    EXPECT_EQ(rows.back()[4], QStringLiteral("2024-07-15 14:00:00"));
    EXPECT_EQ(rows[1000][3], QStringLiteral("李,\"四\""));
    EXPECT_EQ(rows[703][1].toDouble(), 0.2319);
}

TEST_P(ReportCommandTest, TheRecordsAndTheCatalogueTheStatisticsWindowReads) {
    const ReportRange range{reportTime(kFrom.toString(kFormat)), reportTime(kTo.toString(kFormat)),
                            QStringLiteral("B250")};
    const std::vector<WeighingRecord> records = loadRecords(*m_connection, range);
    ASSERT_EQ(records.size(), 1201u); // the products and the one at the range's end, not those outside
    EXPECT_EQ(records.front().time, kFrom.toString(kFormat).toStdString());
    EXPECT_EQ(records.back().time, kTo.toString(kFormat).toStdString());
    EXPECT_EQ(records[600].operatorName, "李,\"四\"");
    EXPECT_DOUBLE_EQ(records[700].weight, 0.2319);
    EXPECT_EQ(records[700].verdict, "超低");

    const auto settings = catalogueSettings(*m_connection, QStringLiteral("B250"), QualitySettings{});
    ASSERT_TRUE(settings.has_value());
    EXPECT_DOUBLE_EQ(settings->nominal, 0.25);
    EXPECT_DOUBLE_EQ(settings->upper, 0.26);
    EXPECT_DOUBLE_EQ(settings->lower, 0.24);
    EXPECT_FALSE(catalogueSettings(*m_connection, QStringLiteral("饼干-200g"), QualitySettings{}).has_value());
    EXPECT_TRUE(catalogueModels(*m_connection).contains(QStringLiteral("B250")));
}

TEST_P(ReportCommandTest, ChecksAreStoredAndListedInTheReport) {
    const ReportRange range{kFrom, kTo, std::nullopt};
    // db init makes the table; a database made before it gains it with its first check.
    EXPECT_TRUE(m_connection->database().tables().contains(QStringLiteral("checks")));
    QSqlQuery drop(m_connection->database());
    ASSERT_TRUE(drop.exec(QStringLiteral("drop table \"checks\"")));
    EXPECT_TRUE(loadChecks(*m_connection, range).empty());
    EXPECT_FALSE(passingCheckOfShift(*m_connection, QStringLiteral("性能检查"), QStringLiteral("2024-07-15 00:00")));
    CheckRecord check{QStringLiteral("性能检查"),     QStringLiteral("2024-07-15 06:10:00"), QStringLiteral("张三"),
                      QStringLiteral("B250"),         QStringLiteral("2024-07-15 00:00"),    false,
                      QStringLiteral("平均误差0.6 g")};
    storeCheck(*m_connection, check);
    EXPECT_FALSE(passingCheckOfShift(*m_connection, check.kind, check.shift)); // it failed
    check.time = QStringLiteral("2024-07-15 06:20:00");
    check.passed = true;
    storeCheck(*m_connection, check);
    check.time = QStringLiteral("2024-07-15 15:00:00"); // after the range
    storeCheck(*m_connection, check);
    EXPECT_TRUE(passingCheckOfShift(*m_connection, check.kind, check.shift));
    EXPECT_FALSE(passingCheckOfShift(*m_connection, QStringLiteral("剔除检查"), check.shift));
    EXPECT_FALSE(passingCheckOfShift(*m_connection, check.kind, QStringLiteral("2024-07-15 08:00")));
    const ShiftReport report = loadShiftReport(*m_connection, range, QualitySettings{});
    ASSERT_EQ(report.checks.size(), 2u);
    EXPECT_EQ(report.checks[0].time, QStringLiteral("2024-07-15 06:10:00"));
    EXPECT_FALSE(report.checks[0].passed);
    EXPECT_TRUE(report.checks[1].passed);
    EXPECT_EQ(report.checks[1].operatorName, QStringLiteral("张三"));
    EXPECT_EQ(report.checks[1].summary, QStringLiteral("平均误差0.6 g"));
}

INSTANTIATE_TEST_SUITE_P(Engines, ReportCommandTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         [](const auto& info) { return std::string(test::engineName(info.param)); });

// kelvora-tool report as the line runs it; returns the exit code, the output in `out`.
int tool(const QStringList& arguments, QString* out = nullptr, const QString& timeZone = {}) {
    QProcess process;
    if (!timeZone.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("TZ"), timeZone);
        process.setProcessEnvironment(environment);
    }
    process.start(QString::fromStdString(test::binDir() + "/kelvora-tool"),
                  QStringList{QStringLiteral("report")} + arguments);
    process.waitForFinished(60000);
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return process.exitCode();
}

TEST(ReportToolTest, ThePdfReadsBackInChinese) {
    auto database = TestDatabase::create(Engine::Sqlite);
    {
        TADOConnection connection(database->connectionString());
        connection.Open();
        QSqlQuery query(connection.database());
        ASSERT_TRUE(query.exec(QStringLiteral(
            "insert into \"XH\" (\"型号\", \"标准值\", \"上限值\", \"下限值\") values ('B250', 0.25, 0.26, 0.24)")));
        for (int i = 0; i < 300; ++i)
            ASSERT_TRUE(query.exec(
                QStringLiteral("insert into \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\") "
                               "values ('B250', %1, '正常', '张三', '2024-07-15 08:%2:%3')")
                    .arg(0.25 + 0.001 * (i % 5))
                    .arg(i / 60, 2, 10, QChar(u'0'))
                    .arg(i % 60, 2, 10, QChar(u'0'))));
    }
    const QString pdf = database->folder() + QStringLiteral("/report.pdf");
    QString out;
#ifndef KELVORA_REPORT_PDF
    // Built without the windows, the tool has no PDF output and says so.
    EXPECT_EQ(tool({QStringLiteral("--db"), database->target(), QStringLiteral("--from"),
                    QStringLiteral("2024-07-15 08:00:00"), QStringLiteral("--to"),
                    QStringLiteral("2024-07-15 08:04:59"), QStringLiteral("--pdf"), pdf},
                   &out),
              2);
    GTEST_SKIP() << "built without KELVORA_GUI: no PDF";
#endif
    ASSERT_EQ(tool({QStringLiteral("--db"), database->target(), QStringLiteral("--from"),
                    QStringLiteral("2024-07-15 08:00:00"), QStringLiteral("--to"),
                    QStringLiteral("2024-07-15 08:04:59"), QStringLiteral("--pdf"), pdf},
                   &out),
              0)
        << out.toStdString();
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    for (const char* expected : {"称重统计报表",
                                 "时段：2024-07-15 08:00:00 至 2024-07-15 08:04:59",
                                 "生成时间：",
                                 "型号：B250",
                                 "产品数",
                                 "300",
                                 "平均值",
                                 "0.252",
                                 "净含量规则（中国）",
                                 "官方抽检通过概率",
                                 "最低目标均值（99%）",
                                 "西方电气规则",
                                 "批次（1批）",
                                 "2024-07-15 08:00",
                                 "日常检查（0次）",
                                 "241.0 g",
                                 "232.0 g",
                                 "批判定",
                                 "合格",
                                 "趋势图",
                                 "均值图",
                                 "标准差图",
                                 "直方图",
                                 "判异",
                                 "操作员：张三（300件）",
                                 "操作员签字",
                                 "质检员签字"})
        EXPECT_TRUE(page.contains(QString::fromUtf8(expected))) << expected;
    EXPECT_FALSE(page.contains(QStringLiteral("不合格")));

    QFile file(pdf);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains("WenQuanYi")); // the font travels with the file
}

// Rows of a 500 g pack in two shifts around 08:00; `limits` adds the columns that hold the limits in
// force and the lot number, as newer stations store them.
std::optional<TestDatabase> lotDatabase(bool limits) {
    auto database = TestDatabase::create(Engine::Sqlite);
    TADOConnection connection(database->connectionString());
    connection.Open();
    QSqlQuery query(connection.database());
    EXPECT_TRUE(query.exec(QStringLiteral(
        "insert into \"XH\" (\"型号\", \"标准值\", \"上限值\", \"下限值\") values ('糖-500g', 0.5, 0.52, 0.49)")));
    for (const char* column : {"\"标准值\" double", "\"上限值\" double", "\"下限值\" double", "\"批号\" text"}) {
        if (limits) {
            EXPECT_TRUE(query.exec(QStringLiteral("alter table \"weight\" add column ") + QString::fromUtf8(column)));
        }
    }
    for (int i = 0; i < 240; ++i) {
        // 0.478 is short by more than T (15 g) but not 2T; one in 40 before 08:00, one in 8 after.
        const bool early = i < 120;
        const double weight = (early ? i % 40 == 0 : i % 8 == 0) ? 0.478 : 0.505;
        QString statement =
            QStringLiteral("insert into \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\"%1) "
                           "values ('糖-500g', %2, '正常', '张三', '2024-07-15 %3:%4:%5'%6)")
                .arg(limits ? QStringLiteral(", \"标准值\", \"上限值\", \"下限值\", \"批号\"") : QString())
                .arg(weight)
                .arg(early ? 7 : 8, 2, 10, QChar(u'0'))
                .arg(early ? 58 : 0, 2, 10, QChar(u'0'))
                .arg(i % 60, 2, 10, QChar(u'0'))
                .arg(limits ? QStringLiteral(", 0.5, 0.52, 0.47, 'A17'") : QString());
        // 120 rows a minute: the seconds repeat, the minute moves on every 60.
        statement.replace(QStringLiteral(":58:"), i % 120 < 60 ? QStringLiteral(":58:") : QStringLiteral(":59:"));
        statement.replace(QStringLiteral("08:00:"), i % 120 < 60 ? QStringLiteral("08:00:") : QStringLiteral("08:01:"));
        EXPECT_TRUE(query.exec(statement)) << query.lastError().text().toStdString();
    }
    return database;
}

std::vector<QJsonObject> jsonLines(const QString& out) {
    std::vector<QJsonObject> lines;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
        lines.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
    return lines;
}

TEST(ReportToolTest, JsonLinesPerModelAndLotForScripts) {
    const auto database = lotDatabase(false);
    const QStringList range{QStringLiteral("--db"),   database->target(),
                            QStringLiteral("--from"), QStringLiteral("2024-07-15 07:00:00"),
                            QStringLiteral("--to"),   QStringLiteral("2024-07-15 09:00:00"),
                            QStringLiteral("--json")};
    QString out;
    ASSERT_EQ(tool(range + QStringList{QStringLiteral("--lots")}, &out), 0) << out.toStdString();
    const auto lines = jsonLines(out);
    ASSERT_EQ(lines.size(), 3u) << out.toStdString(); // the model, then its lots of two shifts
    const QJsonObject& model = lines[0];
    EXPECT_EQ(model[u"model"].toString(), QStringLiteral("糖-500g"));
    EXPECT_EQ(model[u"regime"].toString(), QStringLiteral("china"));
    EXPECT_DOUBLE_EQ(model[u"nominal_g"].toDouble(), 500);
    EXPECT_DOUBLE_EQ(model[u"t_g"].toDouble(), 15);
    EXPECT_DOUBLE_EQ(model[u"tu1_g"].toDouble(), 485);
    EXPECT_DOUBLE_EQ(model[u"tu2_g"].toDouble(), 470);
    EXPECT_EQ(model[u"count"].toInt(), 240);
    EXPECT_EQ(model[u"short_t"].toInt(), 3 + 15);
    EXPECT_EQ(model[u"short_2t"].toInt(), 0);
    EXPECT_EQ(model[u"verdict"].toString(), QStringLiteral("不合格")); // 18 of 240 is above 2.5 %
    for (const char* key : {"mean_g", "sd_g", "pass_probability", "min_target_g"})
        EXPECT_TRUE(model[QLatin1StringView(key)].isDouble()) << key;
    const QJsonObject& early = lines[1];
    const QJsonObject& late = lines[2];
    EXPECT_EQ(early[u"lot"].toString(), QStringLiteral("2024-07-15 00:00"));
    EXPECT_EQ(late[u"lot"].toString(), QStringLiteral("2024-07-15 08:00"));
    EXPECT_EQ(early[u"verdict"].toString(), QStringLiteral("合格")); // 3 of 120
    EXPECT_EQ(early[u"short_t"].toInt(), 3);
    EXPECT_EQ(late[u"verdict"].toString(), QStringLiteral("不合格"));
    // 120 packs: 50 drawn, at most 3 short. Few early lots fail; most late ones (15 short) do.
    EXPECT_GT(early[u"pass_probability"].toDouble(), 0.9);
    EXPECT_LT(late[u"pass_probability"].toDouble(), 0.2);
    EXPECT_GT(late[u"min_target_g"].toDouble(), late[u"mean_g"].toDouble());

    // The EU's rules do not go beyond 10 kg, but 500 g they judge alike; hourly lots.
    ASSERT_EQ(tool(range + QStringList{QStringLiteral("--regime"), QStringLiteral("eu"), QStringLiteral("--lots"),
                                       QStringLiteral("--lot-split"), QStringLiteral("hour")},
                   &out),
              0);
    const auto eu = jsonLines(out);
    ASSERT_EQ(eu.size(), 3u);
    EXPECT_EQ(eu[0][u"regime"].toString(), QStringLiteral("eu"));
    EXPECT_EQ(eu[1][u"lot"].toString(), QStringLiteral("2024-07-15 07:00"));
    EXPECT_EQ(tool(range + QStringList{QStringLiteral("--regime"), QStringLiteral("us")}), 2);

    // A model the catalogue lacks is judged by nothing, and says so.
    {
        TADOConnection connection(database->connectionString());
        connection.Open();
        QSqlQuery query(connection.database());
        ASSERT_TRUE(query.exec(QStringLiteral("delete from \"XH\"")));
    }
    ASSERT_EQ(tool(range, &out), 0);
    const auto unknown = jsonLines(out);
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0][u"verdict"].toString(), QStringLiteral("不适用"));
    EXPECT_EQ(unknown[0][u"reason"].toString(), QStringLiteral("型号不在产品目录中"));
    EXPECT_FALSE(unknown[0].contains(u"pass_probability"));
}

TEST(ReportToolTest, LotsAreJudgedByTheLimitsTheRecordsHold) {
    const auto database = lotDatabase(true);
    QString out;
    ASSERT_EQ(tool({QStringLiteral("--db"), database->target(), QStringLiteral("--from"),
                    QStringLiteral("2024-07-15 07:00:00"), QStringLiteral("--to"),
                    QStringLiteral("2024-07-15 09:00:00"), QStringLiteral("--json"), QStringLiteral("--lots")},
                   &out),
              0);
    const auto lines = jsonLines(out);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(lines[1][u"limits_recorded"].toBool());
    EXPECT_EQ(lines[1][u"lot_number"].toString(), QStringLiteral("A17"));
}

TEST(ReportToolTest, RefusesBadArguments) {
    const QString from = QStringLiteral("2024-07-15 08:00:00"), to = QStringLiteral("2024-07-15 09:00:00");
    const QString db = QStringLiteral("--db"), f = QStringLiteral("--from"), t = QStringLiteral("--to");
    const QString missing = QStringLiteral("/nonexistent/database.mdb");
    EXPECT_EQ(tool({f, from, t, to}), 2);
    EXPECT_EQ(tool({db, missing, f, QStringLiteral("2024-04-31 08:00:00"), t, to}), 2);
    EXPECT_EQ(tool({db, missing, f, QStringLiteral("2024-07-15 8:00"), t, to}), 2);
    EXPECT_EQ(tool({db, missing, f, to, t, from}), 2);
    EXPECT_EQ(tool({db, missing, f, from, t, to, QStringLiteral("--unit"), QStringLiteral("lb")}), 2);
    EXPECT_EQ(tool({db, missing, f, from, t, to, QStringLiteral("--colour"), QStringLiteral("red")}), 2);
    // A time in the hour that summer time skips is still a time the station wrote: taken as written.
    if (QFile::exists(QStringLiteral("/usr/share/zoneinfo/Europe/Berlin"))) {
        EXPECT_EQ(tool({db, missing, f, QStringLiteral("2024-03-31 02:30:00"), t, to}, nullptr,
                       QStringLiteral("Europe/Berlin")),
                  1);
    }
    QString out;
    EXPECT_EQ(tool({db, missing, f, from, t, to}, &out), 1); // a database that is not there is never created
    EXPECT_TRUE(out.contains(QStringLiteral("kelvora-tool report:")));
}

} // namespace
} // namespace kelvora
