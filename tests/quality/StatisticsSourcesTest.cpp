// The statistics window on a station's database: a range, the current shift, alerts and the report.
#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "quality/window/StatisticsWindow.h"
#include "tests/support/MessageBoxRecorder.h"
#include "tests/support/TestPaths.h"

#include <memory>
#include <stdexcept>

#include <QDateEdit>
#include <QFileInfo>
#include <QProcess>
#include <QSqlQuery>
#include <QTimeEdit>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

const QString kFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

class StatisticsSourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::make_unique<test::TempDir>();
        m_folder = QString::fromStdString(m_dir->path());
        const QString database = m_folder + QStringLiteral("/database.mdb");
        database_setup::initDatabase(database, false);
        m_connection = std::make_unique<TADOConnection>(database);
        m_connection->Open();
        QSqlQuery query(m_connection->database());
        ASSERT_TRUE(query.exec(QStringLiteral("insert into \"XH\" (\"型号\", \"标准值\", \"上限值\", \"下限值\") "
                                              "values ('B250', 0.25, 0.26, 0.24), ('C500', 0.5, 0.52, 0.49)")));
    }

    void insert(const QString& model, double weight, const QString& verdict, const QDateTime& time) {
        QSqlQuery query(m_connection->database());
        query.prepare(QStringLiteral("insert into \"weight\" (\"型号\", \"重量\", \"检定结果\", \"操作员\", \"时间\") "
                                     "values (?, ?, ?, '张三', ?)"));
        query.addBindValue(model);
        query.addBindValue(weight);
        query.addBindValue(verdict);
        query.addBindValue(time.toString(kFormat));
        ASSERT_TRUE(query.exec());
    }

    static std::string figure(const StatisticsWindow& window, const char* name) {
        for (const QString& line : window.figuresText().split(u'\n'))
            if (line.startsWith(QString::fromUtf8(name) + u'\t'))
                return line.section(u'\t', 1).toStdString();
        return "(missing)";
    }

    void setRange(StatisticsWindow& window, const QDateTime& from, const QDateTime& to) {
        window.findChild<QDateEdit*>(QStringLiteral("fromDate"))->setDate(from.date());
        window.findChild<QTimeEdit*>(QStringLiteral("fromTime"))->setTime(from.time());
        window.findChild<QDateEdit*>(QStringLiteral("toDate"))->setDate(to.date());
        window.findChild<QTimeEdit*>(QStringLiteral("toTime"))->setTime(to.time());
    }

    std::unique_ptr<test::TempDir> m_dir;
    QString m_folder;
    std::unique_ptr<TADOConnection> m_connection;
};

const QualitySettings kB250{0.25, 0.26, 0.24};

WeighingRecord live(double weight, const char* verdict, const QDateTime& time) {
    return {"B250", weight, verdict, "李四", time.toString(kFormat).toStdString()};
}

TEST_F(StatisticsSourcesTest, ARangeOfTheDatabaseIsShownWhileTheLiveBatchGoesOnBehindIt) {
    const QDateTime from(QDate(2024, 7, 15), QTime(8, 0));
    for (int i = 0; i < 50; ++i)
        insert(QStringLiteral("B250"), 0.250 + 0.001 * (i % 5), QStringLiteral("正常"), from.addSecs(60 * i));
    insert(QStringLiteral("B250"), 0.300, QStringLiteral("超高"), from.addSecs(-1)); // before the range
    insert(QStringLiteral("C500"), 0.500, QStringLiteral("正常"), from.addSecs(30)); // another model

    StatisticsWindow window;
    window.setStation(m_connection.get(), QualitySettings{}, m_folder, {480}, 3);
    auto* models = window.findChild<QComboBox*>(QStringLiteral("modelBox"));
    EXPECT_EQ(models->count(), 2);
    models->setCurrentText(QStringLiteral("B250"));
    window.startBatch(QStringLiteral("B250"), kB250);
    window.addRecord(live(0.252, "正常", from));
    setRange(window, from, from.addSecs(49 * 60));
    window.showSource(StatisticsWindow::Source::Range);
    EXPECT_EQ(figure(window, "产品数"), "50");
    EXPECT_EQ(figure(window, "平均值"), "0.252");
    EXPECT_EQ(figure(window, "TU1（g）"), "241.0") << "the nominal comes from the catalogue";

    // Live rows still count and alert, but leave the range shown alone.
    for (int i = 0; i < 3; ++i)
        window.addRecord(live(0.270, "超高", from.addSecs(i)));
    EXPECT_EQ(figure(window, "产品数"), "50");
    ASSERT_EQ(window.alerts().size(), 1);
    EXPECT_EQ(window.alerts().at(0), QStringLiteral("2024-07-15 08:00:02  连续3件超出公差"));
    window.showSource(StatisticsWindow::Source::Batch);
    EXPECT_EQ(figure(window, "产品数"), "4");

    setRange(window, from, from.addSecs(-60));
    EXPECT_THROW(window.showSource(StatisticsWindow::Source::Range), std::runtime_error);
    EXPECT_EQ(window.source(), StatisticsWindow::Source::Batch) << "a refused range leaves what is shown";
    EXPECT_EQ(window.findChild<QComboBox*>(QStringLiteral("sourceBox"))->currentText(), QStringLiteral("当前批次"));
    EXPECT_EQ(figure(window, "产品数"), "4");
}

TEST_F(StatisticsSourcesTest, TheCurrentShiftStartsAtTheLatestShiftStartAndFollowsLiveRows) {
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime start = now.addSecs(-3600);
    // The shift began an hour ago, which may be yesterday: rows since then count, an earlier one does not.
    for (int i = 1; i <= 10; ++i)
        insert(QStringLiteral("B250"), 0.251, QStringLiteral("正常"), now.addSecs(-60 * i));
    insert(QStringLiteral("B250"), 0.251, QStringLiteral("正常"), start.addSecs(-120));
    StatisticsWindow window;
    window.setStation(m_connection.get(), QualitySettings{}, m_folder,
                      {start.time().hour() * 60 + start.time().minute()}, 3);
    window.startBatch(QStringLiteral("B250"), kB250);
    window.showSource(StatisticsWindow::Source::Shift);
    EXPECT_EQ(figure(window, "产品数"), "10");
    window.addRecord(live(0.251, "正常", now));
    EXPECT_EQ(figure(window, "产品数"), "11");
}

TEST_F(StatisticsSourcesTest, TheReportOfTheRangeShownIsWrittenIntoTheStationFolder) {
    StatisticsWindow window;
    window.setStation(m_connection.get(), QualitySettings{}, m_folder, {0}, 3);
    window.startBatch(QStringLiteral("B250"), kB250);
    EXPECT_THROW(window.writeReport(), std::runtime_error) << "a batch without records has no report";

    const QDateTime from(QDate(2024, 7, 15), QTime(8, 0));
    for (int i = 0; i < 30; ++i) {
        insert(QStringLiteral("B250"), 0.252, QStringLiteral("正常"), from.addSecs(2 * i));
        window.addRecord(live(0.252, "正常", from.addSecs(2 * i)));
    }
    test::MessageBoxRecorder boxes;
    window.findChild<QPushButton*>(QStringLiteral("reportButton"))->click();
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, QStringLiteral("提示"));
    const QString prefix = QStringLiteral("报表已保存：");
    ASSERT_TRUE(boxes.boxes[0].text.startsWith(prefix)) << boxes.boxes[0].text.toStdString();
    const QString pdf = boxes.boxes[0].text.mid(prefix.size());
    EXPECT_EQ(QFileInfo(pdf).absolutePath(), QFileInfo(m_folder).absoluteFilePath());
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(page.contains(QStringLiteral("时段：2024-07-15 08:00:00 至 2024-07-15 08:00:58")))
        << page.toStdString();
    EXPECT_TRUE(page.contains(QStringLiteral("型号：B250")));

    // Without a database the window says so instead of failing quietly.
    StatisticsWindow alone;
    alone.startBatch(QStringLiteral("B250"), kB250);
    alone.addRecord(live(0.252, "正常", from));
    EXPECT_THROW(alone.writeReport(), std::runtime_error);
    EXPECT_THROW(alone.showSource(StatisticsWindow::Source::Shift), std::runtime_error);
}

TEST_F(StatisticsSourcesTest, TheAlertListKeepsTheNewestAlertsOnly) {
    StatisticsWindow window;
    window.setStation(nullptr, QualitySettings{}, m_folder, {0}, 1);
    window.startBatch(QStringLiteral("B250"), kB250);
    const QDateTime from(QDate(2024, 7, 15), QTime(8, 0));
    const int alerts = StatisticsWindow::kAlertsKept + 5;
    for (int i = 0; i < alerts; ++i) {
        window.addRecord(live(0.27, "超高", from.addSecs(i)));
        window.addRecord(live(0.25, "正常", from.addSecs(i))); // each reject a run of its own
    }
    ASSERT_EQ(window.alerts().size(), StatisticsWindow::kAlertsKept);
    EXPECT_TRUE(window.alerts().back().startsWith(from.addSecs(alerts - 1).toString(kFormat)));
    EXPECT_TRUE(window.alerts().front().startsWith(from.addSecs(5).toString(kFormat)));
}

} // namespace
} // namespace kelvora
