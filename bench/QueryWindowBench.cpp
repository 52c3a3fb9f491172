// The record query window against a database of 10 million records, and the station's resources over
// 500 presses of 查询. Run under the offscreen platform: build/bin/bench-query-window [RECORDS] [PRESSES].
#include "app/Unit1.h"
#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "data/window/Unit3.h"
#include "tests/support/TestPaths.h"
#include "ui/DataGrid.h"
#include "ui/MessageBox.h"
#include "ui_Unit1.h"
#include "users/Login.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeEdit>

using namespace Qt::StringLiterals;
using Clock = std::chrono::steady_clock;

namespace kelvora {
namespace {

// One record a second from 2024-01-01 00:00:00 on, in one transaction inside the engine.
void fill(const QString& path, long long records) {
    database_setup::initDatabase(path, false);
    TADOConnection connection(path);
    connection.Open();
    QSqlQuery query(connection.database());
    const bool ok =
        query.exec(u"BEGIN"_s) &&
        query.exec(u"WITH RECURSIVE n(x) AS (SELECT 0 UNION ALL SELECT x + 1 FROM n LIMIT %1) "
                   "INSERT INTO \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\") "
                   "SELECT CASE x % 3 WHEN 0 THEN 'A100' WHEN 1 THEN 'B250' ELSE '饼干-200g' END, "
                   "12 + (x % 97) / 10.0, CASE x % 10 WHEN 0 THEN '超高' WHEN 1 THEN '超低' ELSE '正常' END, "
                   "'张三', datetime(1704067200 + x, 'unixepoch') FROM n"_s.arg(records)) &&
        query.exec(u"COMMIT"_s);
    if (!ok)
        throw std::runtime_error(query.lastError().text().toStdString());
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Opens the window, queries 24 hours and paints the grid; milliseconds and the rows found.
std::pair<double, int> timeDayQuery(const QString& path) {
    const Clock::time_point start = Clock::now();
    TForm3 window(u"Data Source=%1;"_s.arg(path));
    window.show();
    window.findChild<QComboBox*>(u"ComboBox2"_s)->setEditText(QString());
    window.findChild<QDateEdit*>(u"dp1"_s)->setDate(QDate(2024, 3, 15));
    window.findChild<QTimeEdit*>(u"TP1"_s)->setTime(QTime(8, 0, 0));
    window.findChild<QDateEdit*>(u"Dp2"_s)->setDate(QDate(2024, 3, 16));
    window.findChild<QTimeEdit*>(u"tp2"_s)->setTime(QTime(7, 59, 59));
    window.findChild<QPushButton*>(u"Button1"_s)->click();
    auto* grid = window.findChild<DataGrid*>(u"DBGrid1"_s);
    grid->viewport()->repaint();
    return {millisecondsSince(start), grid->model()->rowCount()};
}

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long openDescriptors() {
    long count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// 查询 pressed, the window queried at once and closed, `presses` times, on the logged-in station.
void pressQuery(int presses) {
    MessageBox::setAnswerer([](const MessageBox::Request& request) { return MessageBox::defaultAnswer(request); });
    TForm1 form;
    form.show();
    QCoreApplication::processEvents();
    form.LoginFrm()->findChild<QComboBox*>(u"ComboBox1"_s)->setEditText(u"admin"_s);
    form.LoginFrm()->findChild<QLineEdit*>(u"Edit1"_s)->setText(u"123456"_s);
    form.LoginFrm()->findChild<QPushButton*>(u"RzBitBtn1"_s)->click();
    const auto press = [&form] {
        form.ui().BtnSecurity->click();
        form.Form3()->findChild<QPushButton*>(u"Button1"_s)->click();
        form.Form3()->close();
        QCoreApplication::processEvents();
    };
    for (int i = 0; i < 20; ++i) // warm-up: caches, fonts, the first statement translations
        press();
    const long rssBefore = residentKiB(), fdsBefore = openDescriptors();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < presses; ++i)
        press();
    const double elapsed = millisecondsSince(start);
    std::printf("%d presses of 查询 (open, query, close): %.1f ms each; resident memory %ld KiB -> %ld KiB, "
                "open descriptors %ld -> %ld\n",
                presses, elapsed / presses, rssBefore, residentKiB(), fdsBefore, openDescriptors());
    MessageBox::setAnswerer({});
}

} // namespace
} // namespace kelvora

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    const long long records = argc > 1 ? std::atoll(argv[1]) : 10'000'000;
    const int presses = argc > 2 ? std::atoi(argv[2]) : 500;
    kelvora::test::TempDir dir;
    const QString path = QString::fromStdString(dir.file("database.mdb"));
    const Clock::time_point start = Clock::now();
    kelvora::fill(path, records);
    std::printf("database of %lld records made in %.1f s\n", records, kelvora::millisecondsSince(start) / 1000);
    for (int run = 0; run < 3; ++run) {
        const auto [ms, rows] = kelvora::timeDayQuery(path);
        std::printf("query window, 24-hour query, grid painted: %.1f ms (%d rows)\n", ms, rows);
    }
    QDir::setCurrent(QString::fromStdString(dir.path()));
    kelvora::pressQuery(presses);
    return 0;
}
