#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "quality/BatchQuality.h"
#include "quality/report/ReportPdf.h"
#include "quality/report/ShiftReport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <numeric>
#include <stdexcept>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace kelvora {
namespace {

constexpr int kDay = 86'400;
constexpr long long kRecords = 10'000'000;
const QString kFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QualitySettings kB250{0.25, 0.26, 0.24};

// A day of one product a second: weights on the 0.001 kg division around 0.252 kg, verdicts by limits.
std::vector<WeighingRecord> day() {
    std::vector<WeighingRecord> rows;
    rows.reserve(kDay);
    for (int x = 0; x < kDay; ++x) {
        const double weight = 0.243 + ((x * 7919) % 19) / 1000.0;
        char time[32];
        std::snprintf(time, sizeof time, "2024-03-15 %02d:%02d:%02d", x / 3600, x / 60 % 60, x % 60);
        rows.push_back({"B250", weight, weight > 0.26 ? "超高" : (weight < 0.24 ? "超低" : "正常"), "张三", time});
    }
    return rows;
}

// One product's update of the batch figures, as the live window makes it per verdict: the time of each
// of a day's updates is taken alone; p50, p99 and the worst are reported in microseconds.
void BM_LiveUpdatePerProduct(benchmark::State& state) {
    const auto rows = day();
    std::vector<double> micros(rows.size());
    for (auto _ : state) {
        BatchQuality quality(kB250);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            quality.add(rows[i]);
            micros[i] = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
        }
        benchmark::DoNotOptimize(quality.statistics().count());
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[micros.size() * 99 / 100];
    state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_LiveUpdatePerProduct)->Unit(benchmark::kMillisecond)->Iterations(5);

// A day's 86,400 rows into the batch figures.
void BM_LoadDayIntoStatistics(benchmark::State& state) {
    const auto rows = day();
    for (auto _ : state) {
        BatchQuality quality(kB250);
        for (const WeighingRecord& row : rows)
            quality.add(row);
        benchmark::DoNotOptimize(quality.chart().points().size());
    }
    state.SetItemsProcessed(state.iterations() * kDay);
}
BENCHMARK(BM_LoadDayIntoStatistics)->Unit(benchmark::kMillisecond);

// The station's database with 10 million records, one a second from 2024-01-01 00:00:00 on (about 116
// days) of three models in `XH`, built once in the build's cache folder and kept for later runs.
QString tenMillionDatabase() {
    const QString folder = QStringLiteral(KELVORA_BENCH_CACHE);
    const QString path = folder + QStringLiteral("/report-10m.db");
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(folder);
    const QString building = path + QStringLiteral(".building");
    QFile::remove(building);
    database_setup::initDatabase(building, false);
    {
        TADOConnection connection(building);
        connection.Open();
        QSqlQuery query(connection.database());
        const bool ok =
            query.exec(QStringLiteral("BEGIN")) &&
            query.exec(QStringLiteral("INSERT INTO \"XH\" (\"型号\", \"标准值\", \"上限值\", \"下限值\") VALUES "
                                      "('B250', 0.25, 0.26, 0.24), ('饼干-200g', 0.2, 0.21, 0.19), "
                                      "('糖果-500g', 0.5, 0.515, 0.485)")) &&
            query.exec(QStringLiteral(
                           "WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n LIMIT %1) "
                           "INSERT INTO \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\") "
                           "SELECT m, w, CASE WHEN w > u THEN '超高' WHEN w < l THEN '超低' ELSE '正常' END, "
                           "CASE (x / 28800) % 3 WHEN 0 THEN '张三' WHEN 1 THEN '李四' ELSE '王五' END, "
                           "datetime(1704067200 + x, 'unixepoch') FROM (SELECT x, "
                           "CASE x % 3 WHEN 0 THEN 'B250' WHEN 1 THEN '饼干-200g' ELSE '糖果-500g' END AS m, "
                           "CASE x % 3 WHEN 0 THEN 0.243 WHEN 1 THEN 0.193 ELSE 0.488 END + ((x * 7919) % 19) / 1000.0 "
                           "AS w, CASE x % 3 WHEN 0 THEN 0.26 WHEN 1 THEN 0.21 ELSE 0.515 END AS u, "
                           "CASE x % 3 WHEN 0 THEN 0.24 WHEN 1 THEN 0.19 ELSE 0.485 END AS l FROM n)")
                           .arg(kRecords)) &&
            query.exec(QStringLiteral("COMMIT"));
        if (!ok)
            throw std::runtime_error(query.lastError().text().toStdString());
    }
    if (!QFile::rename(building, path))
        throw std::runtime_error("cannot keep the benchmark database");
    return path;
}

// The day's checks of the checkweigher: a performance check and a challenge test at each shift's start.
void addChecks(const QString& path) {
    TADOConnection connection(path);
    if (!loadChecks(connection, {QDateTime::fromString(QStringLiteral("2024-03-15 00:00:00"), kFormat),
                                 QDateTime::fromString(QStringLiteral("2024-03-16 23:59:59"), kFormat), std::nullopt})
             .empty())
        return;
    for (const char* shift : {"2024-03-15 08:00", "2024-03-15 16:00", "2024-03-16 00:00"})
        for (const char* kind : {"性能检查", "剔除检查"})
            storeCheck(connection, {QString::fromUtf8(kind), QString::fromUtf8(shift) + QStringLiteral(":05"),
                                    QStringLiteral("张三"), QStringLiteral("B250"), QString::fromUtf8(shift), true,
                                    QStringLiteral("砝码250.0 g，10次：平均误差0.10 g，标准差0.200 g")});
}

const LotRules kLots{LotRules::Split::Shift, {0, 8 * 60, 16 * 60}};

const ReportRange kShift{
    QDateTime::fromString(QStringLiteral("2024-03-15 08:00:00"), QStringLiteral("yyyy-MM-dd HH:mm:ss")),
    QDateTime::fromString(QStringLiteral("2024-03-16 07:59:59"), QStringLiteral("yyyy-MM-dd HH:mm:ss")), std::nullopt};

// The 24-hour report over the 10 million records: the figures of three models from the engine, their
// lots per shift with the chance each passes an official check, the day's checks and the PDF with every
// chart.
void BM_ShiftReport24h(benchmark::State& state) {
    const QString path = tenMillionDatabase();
    addChecks(path);
    QTemporaryDir dir;
    std::size_t models = 0;
    for (auto _ : state) {
        TADOConnection connection(path);
        const ShiftReport report = loadShiftReport(connection, kShift, QualitySettings{}, 500, kLots);
        writeReportPdf(report, dir.filePath(QStringLiteral("report.pdf")));
        models = report.models.size();
        state.counters["lots"] = static_cast<double>(report.lots.size());
        state.counters["checks"] = static_cast<double>(report.checks.size());
        state.counters["rows"] =
            static_cast<double>(std::accumulate(report.models.begin(), report.models.end(), std::int64_t{0},
                                                [](std::int64_t sum, const ModelReport& m) { return sum + m.count; }));
    }
    state.counters["models"] = static_cast<double>(models);
}
BENCHMARK(BM_ShiftReport24h)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

// The 24-hour range's lots alone: the rows read once and each lot's readiness.
void BM_Lots24h(benchmark::State& state) {
    const QString path = tenMillionDatabase();
    for (auto _ : state) {
        TADOConnection connection(path);
        state.counters["lots"] = static_cast<double>(loadLots(connection, kShift, QualitySettings{}, kLots).size());
    }
}
BENCHMARK(BM_Lots24h)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same range's records written as CSV.
void BM_ShiftCsv24h(benchmark::State& state) {
    const QString path = tenMillionDatabase();
    QTemporaryDir dir;
    for (auto _ : state) {
        TADOConnection connection(path);
        state.counters["rows"] =
            static_cast<double>(writeRecordsCsv(connection, kShift, dir.filePath(QStringLiteral("records.csv"))));
    }
}
BENCHMARK(BM_ShiftCsv24h)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace kelvora

int main(int argc, char** argv) {
    // The PDF's fonts need the GUI application; the offscreen platform needs no display.
    int qtArgc = 3;
    char name[] = "bench-quality", option[] = "-platform", platform[] = "offscreen";
    char* qtArgv[] = {name, option, platform, nullptr};
    QGuiApplication application(qtArgc, qtArgv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
