#include "data/DatabaseSetup.h"
#include "data/QueryTableModel.h"
#include "data/RecordQuery.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "data/WeightRecordStore.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace kelvora {
namespace {

constexpr long long kRecords = 10'000'000;

// Rows committed one by one, as the line stores its verdicts: each insert is its own durable
// transaction on an SQLite file with synchronous=FULL.
void BM_CommittedRecords(benchmark::State& state) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("database.mdb"));
    database_setup::initDatabase(path, false);
    const auto store = openRecordStore(path);
    const WeighingRecord record{"A100", 15.234, "正常", "张三", "2024-07-01 08:00:00"};
    for (auto _ : state)
        store->insert(record);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CommittedRecords)->Unit(benchmark::kMillisecond)->MinTime(2.0)->UseRealTime();

// A database with 10 million records, one a second from 2024-01-01 00:00:00 on (about 116 days), made
// once in a single transaction inside the engine and kept for later runs in the cache folder
// (KELVORA_BENCH_CACHE, else kelvora-bench in the system's temporary folder). Building it prints how long
// it took.
class TenMillionRecords {
public:
    TenMillionRecords() {
        const QString folder = qEnvironmentVariableIsSet("KELVORA_BENCH_CACHE")
                                   ? qEnvironmentVariable("KELVORA_BENCH_CACHE")
                                   : QDir::temp().filePath(QStringLiteral("kelvora-bench"));
        QDir().mkpath(folder);
        m_path = QDir(folder).filePath(QStringLiteral("weight-10M-v1.mdb"));
        if (QFileInfo::exists(m_path))
            return;
        const QString building = m_path + QStringLiteral(".building");
        QFile::remove(building);
        QElapsedTimer timer;
        timer.start();
        database_setup::initDatabase(building, false);
        {
            TADOConnection connection(building);
            connection.Open();
            QSqlQuery query(connection.database());
            const bool ok =
                query.exec(QStringLiteral("BEGIN")) &&
                query.exec(
                    QStringLiteral(
                        "WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n LIMIT %1) "
                        "INSERT INTO \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\") "
                        "SELECT CASE x % 3 WHEN 0 THEN 'A100' WHEN 1 THEN 'B250' ELSE '饼干-200g' END, "
                        "12 + (x % 97) / 10.0, CASE x % 10 WHEN 0 THEN '超高' WHEN 1 THEN '超低' ELSE '正常' END, "
                        "'张三', datetime(1704067200 + x, 'unixepoch') FROM n")
                        .arg(kRecords)) &&
                query.exec(QStringLiteral("COMMIT")) && query.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            if (!ok)
                throw std::runtime_error(query.lastError().text().toStdString());
        }
        if (!QFile::rename(building, m_path))
            throw std::runtime_error("cannot move the benchmark database into place");
        std::fprintf(stderr, "built %lld records in %s in %.1f s\n", kRecords, qPrintable(m_path),
                     static_cast<double>(timer.elapsed()) / 1000.0);
    }
    const QString& path() const { return m_path; }

private:
    QString m_path;
};

const TenMillionRecords& tenMillion() {
    static const TenMillionRecords database;
    return database;
}

// Times the select with its exact count, as the query window runs it, and reports the rows found.
void timeCountedSelect(benchmark::State& state, TADOQuery& query) {
    int count = 0;
    for (auto _ : state) {
        query.Open();
        count = query.RecordCount();
        benchmark::DoNotOptimize(count);
    }
    state.counters["rows"] = count;
}

// The record query: the window's two statement lines for a time range, opened, and the count read.
// range(0) is the length of the range in hours.
void BM_RecordQueryTimeRange(benchmark::State& state) {
    const auto& database = tenMillion();
    TADOConnection connection(database.path());
    TADOQuery query(connection);
    query.SQL.Add(QStringLiteral("select  *  from  weight"));
    const int hours = static_cast<int>(state.range(0));
    query.SQL.Add(QStringLiteral("where  (时间  between #03/15/2024 08:00:00# and  #%1#)")
                      .arg(QDateTime(QDate(2024, 3, 15), QTime(8, 0))
                               .addSecs(hours * 3600 - 1)
                               .toString(QStringLiteral("MM/dd/yyyy HH:mm:ss"))));
    timeCountedSelect(state, query);
}
BENCHMARK(BM_RecordQueryTimeRange)->Arg(1)->Arg(8)->Arg(24)->Unit(benchmark::kMillisecond);

// The same with the window's condition on the verdict.
void BM_RecordQueryTimeRangeAndVerdict(benchmark::State& state) {
    const auto& database = tenMillion();
    TADOConnection connection(database.path());
    TADOQuery query(connection);
    query.SQL.Add(QStringLiteral("select  *  from  weight"));
    query.SQL.Add(
        QStringLiteral("where  (时间  between #03/15/2024 08:00:00# and  #03/16/2024 07:59:59#)and (检定结果='超高')"));
    timeCountedSelect(state, query);
}
BENCHMARK(BM_RecordQueryTimeRangeAndVerdict)->Unit(benchmark::kMillisecond);

// The query window's 查询 over 24 hours on 10 million records: the statement built and opened, the
// count for the status panel, and the first screen of the grid (20 rows of its five formatted columns)
// read through the grid's model. range(0): 1 with the condition 检定结果 = 超高, 0 without.
void BM_QueryWindowFirstScreen24Hours(benchmark::State& state) {
    const auto& database = tenMillion();
    TADOConnection connection(database.path());
    TADOQuery query(connection);
    QueryTableModel grid(query,
                         {{QStringLiteral("型号"), QStringLiteral("型号")},
                          {QStringLiteral("重量"), QStringLiteral("重量"), 2},
                          {QStringLiteral("检定结果"), QStringLiteral("检定结果")},
                          {QStringLiteral("操作员"), QStringLiteral("操作员")},
                          {QStringLiteral("时间"), QStringLiteral("时间"), -1, QStringLiteral("yyyy/M/d H:mm:ss")}});
    const bool verdict = state.range(0) != 0;
    int count = 0;
    for (auto _ : state) {
        count = RecordQuery::run(query, QDate(2024, 3, 15), QTime(8, 0), QDate(2024, 3, 16), QTime(7, 59, 59),
                                 verdict ? QStringLiteral("检定结果") : QString(), QStringLiteral("="),
                                 QStringLiteral("超高"));
        for (int row = 0; row < std::min(20, grid.rowCount()); ++row)
            for (int column = 0; column < grid.columnCount(); ++column)
                benchmark::DoNotOptimize(grid.data(grid.index(row, column)));
    }
    state.counters["rows"] = count;
}
BENCHMARK(BM_QueryWindowFirstScreen24Hours)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kelvora

BENCHMARK_MAIN();
