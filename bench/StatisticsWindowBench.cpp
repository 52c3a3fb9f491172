#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "quality/window/StatisticsWindow.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <vector>

#include <QApplication>
#include <QDateEdit>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeEdit>

#include <benchmark/benchmark.h>

namespace kelvora {
namespace {

const QualitySettings kB250{0.25, 0.26, 0.24};

std::vector<WeighingRecord> products(int count) {
    std::vector<WeighingRecord> rows;
    for (int x = 0; x < count; ++x) {
        const double weight = 0.243 + ((x * 7919) % 19) / 1000.0;
        char time[32];
        std::snprintf(time, sizeof time, "2024-03-15 %02d:%02d:%02d", x / 3600 % 24, x / 60 % 60, x % 60);
        rows.push_back({"B250", weight, weight > 0.26 ? "超高" : (weight < 0.24 ? "超低" : "正常"), "张三", time});
    }
    return rows;
}

// The calling thread's processor time in microseconds: what the update costs, without the time the
// thread waited while others ran on a shared machine.
double threadMicros() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

// Percentiles in microseconds of a list of durations.
void report(benchmark::State& state, std::vector<double> micros, const char* prefix) {
    std::sort(micros.begin(), micros.end());
    state.counters[std::string(prefix) + "p50_us"] = micros[micros.size() / 2];
    state.counters[std::string(prefix) + "p99_us"] = micros[micros.size() * 99 / 100];
    state.counters[std::string(prefix) + "max_us"] = micros.back();
}

// One verdict on the main thread, in a window that already shows a full day: the figures and marks,
// then the drawing of the charts that follows every verdict when products come more than 100 ms apart.
void BM_WindowLiveUpdatePerVerdict(benchmark::State& state) {
    const auto day = products(86'400);
    const auto more = products(2'000);
    std::vector<double> update, drawing, processor;
    for (auto _ : state) {
        state.PauseTiming();
        StatisticsWindow window;
        window.startBatch(QStringLiteral("B250"), kB250);
        window.loadRecords(day);
        state.ResumeTiming();
        for (const WeighingRecord& row : more) {
            const double cpu = threadMicros();
            const auto start = std::chrono::steady_clock::now();
            window.addRecord(row);
            const auto figures = std::chrono::steady_clock::now();
            window.flushCharts();
            const auto end = std::chrono::steady_clock::now();
            processor.push_back(threadMicros() - cpu);
            update.push_back(std::chrono::duration<double, std::micro>(end - start).count());
            drawing.push_back(std::chrono::duration<double, std::micro>(end - figures).count());
        }
    }
    report(state, update, "");
    report(state, drawing, "charts_");
    report(state, processor, "cpu_");
}
BENCHMARK(BM_WindowLiveUpdatePerVerdict)->Unit(benchmark::kMillisecond)->Iterations(3);

// A day of 86,400 rows loaded into the window and its charts drawn.
void BM_WindowLoadDay(benchmark::State& state) {
    const auto day = products(86'400);
    for (auto _ : state) {
        StatisticsWindow window;
        window.startBatch(QStringLiteral("B250"), kB250);
        window.loadRecords(day);
        benchmark::DoNotOptimize(window.batch().statistics().count());
    }
}
BENCHMARK(BM_WindowLoadDay)->Unit(benchmark::kMillisecond)->UseRealTime();

// The worst case of the alerts: every verdict raises one (each product a reject, the run of rejects
// that alerts 1) into a list that already holds as many as it keeps.
void BM_WindowLiveUpdateWithAnAlertEach(benchmark::State& state) {
    auto rejects = products(StatisticsWindow::kAlertsKept + 2'000);
    for (WeighingRecord& row : rejects) {
        row.weight = 0.265;
        row.verdict = "超高";
    }
    std::vector<double> processor;
    for (auto _ : state) {
        state.PauseTiming();
        StatisticsWindow window;
        window.setStation(nullptr, kB250, {}, {0}, 1);
        window.startBatch(QStringLiteral("B250"), kB250);
        for (int i = 0; i < StatisticsWindow::kAlertsKept; ++i)
            window.addRecord(rejects[static_cast<std::size_t>(i)]);
        state.ResumeTiming();
        for (std::size_t i = StatisticsWindow::kAlertsKept; i < rejects.size(); ++i) {
            const double cpu = threadMicros();
            window.addRecord(rejects[i]);
            window.flushCharts();
            processor.push_back(threadMicros() - cpu);
        }
    }
    report(state, processor, "cpu_");
}
BENCHMARK(BM_WindowLiveUpdateWithAnAlertEach)->Unit(benchmark::kMillisecond)->Iterations(3);

// A day of 86,400 rows chosen as a range and read from the station's SQLite database into the window.
void BM_WindowShowsADayFromTheDatabase(benchmark::State& state) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("database.mdb"));
    database_setup::initDatabase(path, false);
    TADOConnection connection(path);
    connection.Open();
    QSqlQuery query(connection.database());
    query.exec(QStringLiteral("insert into \"XH\" (\"型号\", \"标准值\", \"上限值\", \"下限值\") "
                              "values ('B250', 0.25, 0.26, 0.24)"));
    connection.database().transaction();
    query.prepare(QStringLiteral("insert into \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\") "
                                 "values (?, ?, ?, ?, ?)"));
    for (const WeighingRecord& row : products(86'400)) {
        query.addBindValue(QString::fromStdString(row.model));
        query.addBindValue(row.weight);
        query.addBindValue(QString::fromStdString(row.verdict));
        query.addBindValue(QString::fromStdString(row.operatorName));
        query.addBindValue(QString::fromStdString(row.time));
        query.exec();
    }
    connection.database().commit();
    for (auto _ : state) {
        StatisticsWindow window;
        window.setStation(&connection, QualitySettings{}, folder.path(), {0}, 3);
        window.findChild<QDateEdit*>(QStringLiteral("fromDate"))->setDate(QDate(2024, 3, 15));
        window.findChild<QTimeEdit*>(QStringLiteral("fromTime"))->setTime(QTime(0, 0));
        window.findChild<QDateEdit*>(QStringLiteral("toDate"))->setDate(QDate(2024, 3, 15));
        window.findChild<QTimeEdit*>(QStringLiteral("toTime"))->setTime(QTime(23, 59, 59));
        window.showSource(StatisticsWindow::Source::Range);
        if (window.batch().statistics().count() != 86'400)
            state.SkipWithError("the day was not read whole");
    }
}
BENCHMARK(BM_WindowShowsADayFromTheDatabase)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
} // namespace kelvora

int main(int argc, char** argv) {
    int qtArgc = 3;
    char name[] = "bench-statistics-window", option[] = "-platform", platform[] = "offscreen";
    char* qtArgv[] = {name, option, platform, nullptr};
    QApplication application(qtArgc, qtArgv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
