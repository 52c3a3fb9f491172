// The station's records on the weighing path and through the forwarder, against a PostgreSQL server of
// the benchmark's own:
//   - the journal's append (synchronous=FULL) on this disk: p50, p99, max;
//   - a verdict's step (recordVerdict + productOver) with a healthy server and with the server frozen;
//   - rows a second through the forwarder into PostgreSQL and into SQLite;
//   - the catch-up after an outage: the rows of a 10-minute outage at 133 products a minute stored after
//     the server returns.
//   - with --soak MINUTES: a station at 140 products a minute for that long on a healthy server, then the
//     verdicts against the stored rows, and the process's memory and descriptors at the start and end.
// Usage: bench-records [--rows N] [--soak MINUTES]  (rows for the throughput, default 100000)
#include "data/DatabaseSetup.h"
#include "data/RecordForwarder.h"
#include "data/RecordJournal.h"
#include "data/TADOConnection.h"
#include "station/StationRuntime.h"
#include "tests/support/FakeStationHost.h"
#include "tests/support/PostgresServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QSqlQuery>
#include <QTemporaryDir>

using namespace kelvora;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void printPercentiles(const char* what, std::vector<Clock::duration> samples) {
    std::sort(samples.begin(), samples.end());
    auto at = [&](double q) {
        return ms(samples[static_cast<std::size_t>(q * static_cast<double>(samples.size() - 1))]);
    };
    std::printf("%-44s n=%-6zu p50 %7.3f ms  p99 %7.3f ms  max %7.3f ms\n", what, samples.size(), at(0.5), at(0.99),
                ms(samples.back()));
}

WeighingRecord row(int i) {
    WeighingRecord r{"大米-5kg", 5.0 + (i % 100) / 1000.0, "正常", "张三", "2026-12-11 08:00:00"};
    r.standard = 5.0;
    r.upper = 5.15;
    r.lower = 4.925;
    return r;
}

void journalAppends(const QTemporaryDir& dir) {
    RecordJournal journal(dir.filePath(QStringLiteral("append.db")));
    std::vector<Clock::duration> took;
    for (int i = 0; i < 5000; ++i) {
        const Clock::time_point start = Clock::now();
        journal.append(row(i), "线1");
        took.push_back(Clock::now() - start);
    }
    printPercentiles("journal append (synchronous=FULL)", took);
}

// A station recording into target through its own journal.
struct BenchStation {
    BenchStation(const std::string& target, const QString& journalPath, const std::string& station) {
        host.setText(Control::ComboBox1, "大米-5kg");
        StationRuntime::RecordingOptions options;
        options.target = QString::fromStdString(target);
        options.journalPath = journalPath;
        options.station = station;
        options.timeText = [] { return std::string("2026-12-11 08:00:00"); };
        runtime.startRecording(std::move(options));
    }
    // One product judged and over; returns how long the weighing's step took.
    Clock::duration verdict(int i) {
        host.setText(Control::Edit2, std::to_string(5.0 + (i % 100) / 1000.0));
        const Clock::time_point start = Clock::now();
        runtime.recordVerdict("正常", "张三");
        runtime.productOver();
        return Clock::now() - start;
    }
    // Verdicts at pace for duration; returns each step's time.
    std::vector<Clock::duration> verdicts(Clock::duration duration, Clock::duration pace) {
        std::vector<Clock::duration> took;
        const Clock::time_point end = Clock::now() + duration;
        for (int i = 0; Clock::now() < end; ++i) {
            took.push_back(verdict(i));
            std::this_thread::sleep_for(pace);
        }
        return took;
    }

    test::FakeStationHost host;
    StationRuntime runtime{host};
};

bool waitStored(StationRuntime& runtime, Clock::duration limit) {
    const Clock::time_point end = Clock::now() + limit;
    while (Clock::now() < end) {
        const RecordingStatus status = runtime.recordingStatus();
        if (status.online && status.waiting == 0)
            return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

void verdictSteps(test::PostgresServer& server, const std::string& target, const QTemporaryDir& dir) {
    BenchStation station(target, dir.filePath(QStringLiteral("steps.db")), "线1");
    printPercentiles("verdict step, database healthy", station.verdicts(10s, 20ms));
    server.freeze();
    printPercentiles("verdict step, database frozen", station.verdicts(10s, 20ms));
    server.thaw();
    if (!waitStored(station.runtime, 60s))
        std::printf("  (the rows of the frozen phase were not all stored within 60 s)\n");
}

void throughput(const QString& target, const char* engine, const QTemporaryDir& dir, int rows) {
    const QString path = dir.filePath(QStringLiteral("throughput-%1.db").arg(QString::fromUtf8(engine)));
    {
        RecordJournal journal(path);
        for (int i = 0; i < rows; ++i)
            journal.append(row(i), "线2");
    }
    const Clock::time_point start = Clock::now();
    RecordForwarder forwarder(path, target, "线2");
    forwarder.waitStored(600s);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    std::printf("forwarder into %-10s %d rows in %.2f s: %.0f rows/s\n", engine, rows, seconds, rows / seconds);
}

void catchUp(test::PostgresServer& server, const std::string& target, const QTemporaryDir& dir) {
    BenchStation station(target, dir.filePath(QStringLiteral("outage.db")), "线3");
    server.stop();
    // 10 minutes at 133 a minute, journaled over 40 s so that the forwarder's back-off reaches its longest.
    const int outageRows = 1330;
    for (int i = 0; i < outageRows; ++i) {
        station.verdict(i);
        std::this_thread::sleep_for(30ms);
    }
    const Clock::time_point back = Clock::now();
    server.start();
    const bool stored = waitStored(station.runtime, 120s);
    std::printf("catch-up after an outage of %d rows: %.2f s from the server's return%s\n", outageRows,
                std::chrono::duration<double>(Clock::now() - back).count(), stored ? "" : " (NOT all stored)");
}

long procStatus(const char* key) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::strlen(key));
    return -1;
}

long openDescriptors() {
    long count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

void soak(const std::string& target, const QTemporaryDir& dir, int minutes) {
    BenchStation station(target, dir.filePath(QStringLiteral("soak.db")), "线4");
    const long rssStart = procStatus("VmRSS:");
    const long fdStart = openDescriptors();
    const auto took = station.verdicts(std::chrono::minutes(minutes), std::chrono::milliseconds(60000 / 140));
    waitStored(station.runtime, 60s);
    TADOConnection connection(QString::fromStdString(target));
    connection.Open();
    QSqlQuery query(connection.database());
    query.exec(QStringLiteral("SELECT count(*), count(DISTINCT \"序号\") FROM \"weight\" WHERE \"站点\" = '线4'"));
    query.next();
    std::printf("soak %d min at 140/min: %zu verdicts, %lld rows stored (%lld distinct numbers); RSS %ld -> %ld kB, "
                "descriptors %ld -> %ld\n",
                minutes, took.size(), query.value(0).toLongLong(), query.value(1).toLongLong(), rssStart,
                procStatus("VmRSS:"), fdStart, openDescriptors());
    printPercentiles("verdict step over the soak", took);
}

} // namespace

int main(int argc, char** argv) {
    int rows = 100000;
    int soakMinutes = 0;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rows") == 0)
            rows = std::atoi(argv[i + 1]);
        if (std::strcmp(argv[i], "--soak") == 0)
            soakMinutes = std::atoi(argv[i + 1]);
    }
    QCoreApplication application(argc, argv);
    if (!test::PostgresServer::available()) {
        std::fprintf(stderr, "bench-records: PostgreSQL server binaries are not installed\n");
        return 1;
    }
    QTemporaryDir dir;
    test::PostgresServer server;
    const std::string target = server.createStationDatabase("bench");
    if (soakMinutes > 0) {
        soak(target, dir, soakMinutes);
        return 0;
    }
    journalAppends(dir);
    verdictSteps(server, target, dir);
    throughput(QString::fromStdString(target), "PostgreSQL", dir, rows);
    const QString sqlite = dir.filePath(QStringLiteral("database.mdb"));
    database_setup::initDatabase(sqlite, false);
    throughput(sqlite, "SQLite", dir, rows);
    catchUp(server, target, dir);
    return 0;
}
