// The audit trail and the records' chain, on SQLite with synchronous=FULL:
//   - audit rows stored a second, each its own durable transaction with its link, and ten a transaction;
//   - the station's weighing rows as they run: each verdict appended durably to the journal, stored by the
//     forwarder with its link in the database, while audit rows go into the same database;
//   - `db verify` over 10 million linked weighing rows;
//   - the query window's export of a 100 000-row query.
// The 10-million-row database is built once into bench-cache/.
// Usage: bench-audit [audit|rows|verify|export] [--load N]  (one part, default all; N threads kept busy
// meanwhile, as on a shared machine)
#include "data/AuditTrail.h"
#include "data/ChainVerifier.h"
#include "data/DatabaseSetup.h"
#include "data/RecordChain.h"
#include "data/RecordExport.h"
#include "data/RecordForwarder.h"
#include "data/RecordJournal.h"
#include "data/RecordQuery.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

void exec(QSqlQuery& query, const QString& statement) {
    if (!query.exec(statement))
        throw std::runtime_error(query.lastError().text().toStdString());
}

QString connectionTo(const QString& path) {
    return u"Data Source=\"%1\";"_s.arg(path);
}

// The disk's flush at this moment, which bounds every durable commit: 200 overwrites of one page, each
// followed by fdatasync, on the file system the databases are on.
void diskFlush(const QTemporaryDir& dir) {
    const QByteArray path = QFile::encodeName(dir.filePath(u"flush.probe"_s));
    const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return;
    std::vector<char> page(4096, 'x');
    std::vector<double> took;
    for (int i = 0; i < 200; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (::pwrite(fd, page.data(), page.size(), 0) != static_cast<ssize_t>(page.size()) || ::fdatasync(fd) != 0)
            break;
        took.push_back(timer.nsecsElapsed() / 1e6);
    }
    ::close(fd);
    if (took.empty())
        return;
    std::sort(took.begin(), took.end());
    std::printf("disk flush (4 KiB overwrite + fdatasync): p50 %.3f ms, p90 %.3f ms\n", took[took.size() / 2],
                took[took.size() * 9 / 10]);
}

void auditRate() {
    QTemporaryDir dir;
    diskFlush(dir);
    const QString path = dir.filePath(u"database.mdb"_s);
    database_setup::initDatabase(path, false);
    AuditTrail trail(connectionTo(path), u"线1"_s);
    trail.setOperator(u"admin"_s);
    constexpr int kRows = 3000;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kRows; ++i)
        trail.record(audit_event::kSetting, u"[下限值] Value"_s, QString::number(i), QString::number(i + 1));
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("audit rows stored (SQLite, synchronous=FULL, one transaction each): %.0f rows/s (%d in %.2f s)\n",
                kRows / seconds, kRows, seconds);
    // As a save of the settings window stores its keys: ten rows a transaction.
    std::vector<AuditTrail::Event> events(10, {audit_event::kSetting, u"[下限值] Value"_s, u"1"_s, u"2"_s, {}});
    timer.restart();
    for (int i = 0; i < kRows / 10; ++i)
        trail.record(events);
    const double batched = timer.nsecsElapsed() / 1e9;
    std::printf("audit rows stored, ten a transaction: %.0f rows/s (%d in %.2f s)\n", kRows / batched, kRows, batched);
}

// The weighing rows' path of a station recording flat out into an SQLite database (as StationRuntime's
// store: a durable journal append, then the forwarder told), with a second thread writing audit rows into
// the same database meanwhile; then the chains are verified.
void rowsPath() {
    QTemporaryDir dir;
    diskFlush(dir);
    const QString path = dir.filePath(u"database.mdb"_s);
    database_setup::initDatabase(path, false);
    const QString journalPath = dir.filePath(u"journal.db"_s);
    RecordJournal journal(journalPath);
    journal.begin(1, "");
    std::atomic<bool> stop{false};
    std::atomic<int> auditRows{0};
    std::thread auditor([&] {
        AuditTrail trail(connectionTo(path), u"线1"_s);
        trail.setOperator(u"admin"_s);
        while (!stop) {
            trail.record(audit_event::kSetting, u"[下限值] Value"_s, u"1"_s, u"2"_s);
            ++auditRows;
        }
    });
    constexpr int kRows = 3000;
    QElapsedTimer timer;
    timer.start();
    {
        RecordForwarder forwarder(journalPath, path, "线1");
        for (int i = 0; i < kRows; ++i) {
            WeighingRecord r{"大米-5kg", 5.0 + (i % 100) / 1000.0, "正常", "张三", "2026-12-11 08:00:00"};
            r.standard = 5.0;
            r.upper = 5.15;
            r.lower = 4.925;
            forwarder.appended(journal.append(r, "线1").seq);
        }
        const double appended = timer.nsecsElapsed() / 1e9;
        const bool stored = forwarder.waitStored(std::chrono::minutes(5));
        const double seconds = timer.nsecsElapsed() / 1e9;
        stop = true;
        auditor.join();
        std::printf("weighing rows, journal append each, forwarder into SQLite with audit rows meanwhile: %.0f rows/s "
                    "stored (%d in %.2f s%s; journal %.0f rows/s), audit %.0f rows/s\n",
                    kRows / seconds, kRows, seconds, stored ? "" : ", NOT all stored", kRows / appended,
                    auditRows / seconds);
    }
    TADOConnection connection(connectionTo(path));
    const ChainVerifier::Report report = ChainVerifier(connection).verify();
    std::printf("  chains verified: %lld rows checked, %zu broken\n", report.checked, report.breaks.size());
}

// `weight` with the chain's columns (added when the schema lacks them) and linked rows of two stations.
QString chainedDatabase(qint64 rows) {
    const QString path = QStringLiteral(KELVORA_BENCH_CACHE) + u"/chained-%1.mdb"_s.arg(rows);
    if (QFileInfo::exists(path))
        return path;
    QDir().mkpath(QStringLiteral(KELVORA_BENCH_CACHE));
    const QString building = path + u".new"_s;
    QFile::remove(building);
    database_setup::initDatabase(building, false);
    QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"build"_s);
    db.setDatabaseName(building);
    db.open();
    {
        QSqlQuery query(db);
        const QSqlRecord columns = db.record(u"weight"_s);
        for (const QString& column : {u"站点"_s, u"序号"_s, u"标准值"_s, u"上限值"_s, u"下限值"_s, u"批号"_s, u"链"_s})
            if (!columns.contains(column))
                exec(query, u"alter table weight add column \"%1\""_s.arg(column));
        exec(query, u"create index if not exists weight_chain on weight (站点, 序号)"_s);
        exec(query, u"pragma journal_mode=off"_s);
        exec(query, u"pragma synchronous=off"_s);
        exec(query, u"begin"_s);
        query.prepare(
            u"insert into weight (站点, 序号, 型号, 重量, 检定结果, 操作员, 时间, 标准值, 上限值, 下限值, 批号, 链) "
            u"values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s);
        QString links[2];
        const QDateTime start(QDate(2024, 7, 1), QTime(0, 0));
        for (qint64 i = 0; i < rows; ++i) {
            const int station = int(i % 2);
            const QVariantList fields{station ? u"线2"_s : u"线1"_s,
                                      double(i / 2 + 1),
                                      u"大米-5kg"_s,
                                      5.0 + (i % 200) / 1000.0,
                                      u"正常"_s,
                                      u"张三"_s,
                                      start.addSecs(i / 2).toString(u"yyyy-MM-dd HH:mm:ss"_s),
                                      5.0,
                                      5.15,
                                      4.925,
                                      u"L240701"_s};
            links[station] = RecordChain::link(links[station], fields);
            for (int f = 0; f < fields.size(); ++f)
                query.bindValue(f, fields[f]);
            query.bindValue(fields.size(), links[station]);
            if (!query.exec())
                throw std::runtime_error(query.lastError().text().toStdString());
        }
        exec(query, u"commit"_s);
    }
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"build"_s);
    QFile::rename(building, path);
    return path;
}

void verifyTime() {
    constexpr qint64 kRows = 10'000'000;
    QElapsedTimer timer;
    timer.start();
    const QString path = chainedDatabase(kRows);
    std::printf("(database of %lld linked rows ready after %.1f s)\n", kRows, timer.nsecsElapsed() / 1e9);
    timer.restart();
    TADOConnection connection(connectionTo(path));
    const ChainVerifier::Report report = ChainVerifier(connection).verify();
    std::printf("db verify over %lld weighing rows: %.1f s, %lld checked, %zu broken\n", kRows,
                timer.nsecsElapsed() / 1e9, report.checked, report.breaks.size());
}

void exportTime() {
    const QString path = chainedDatabase(10'000'000);
    TADOConnection connection(connectionTo(path));
    TADOQuery query(connection);
    QTemporaryDir dir;
    QElapsedTimer timer;
    timer.start();
    // 50 000 seconds of two stations: 100 000 rows.
    RecordQuery(QDate(2024, 7, 1), QTime(0, 0), QDate(2024, 7, 1), QTime(13, 53, 19), {}, {}, {}).openOn(query);
    const double opened = timer.nsecsElapsed() / 1e9;
    const int rows = RecordExport::writeCsv(query, dir.filePath(u"export.csv"_s));
    std::printf("export of a %d-row query: %.2f s (query %.2f s, CSV %.2f s)\n", rows, timer.nsecsElapsed() / 1e9,
                opened, timer.nsecsElapsed() / 1e9 - opened);
}

} // namespace
} // namespace kelvora

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const char* part = nullptr;
    int load = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--load") == 0 && i + 1 < argc)
            load = std::atoi(argv[++i]);
        else
            part = argv[i];
    }
    std::atomic<bool> done{false};
    std::vector<std::thread> busy;
    for (int i = 0; i < load; ++i)
        busy.emplace_back([&done] {
            while (!done.load(std::memory_order_relaxed)) {
            }
        });
    const auto runs = [part](const char* name) { return !part || std::strcmp(part, name) == 0; };
    if (runs("audit"))
        kelvora::auditRate();
    if (runs("rows"))
        kelvora::rowsPath();
    if (runs("export"))
        kelvora::exportTime();
    if (runs("verify"))
        kelvora::verifyTime();
    done = true;
    for (std::thread& thread : busy)
        thread.join();
    return 0;
}
