// The program in script mode, run as the operator's acceptance tests run it.
#include "data/DatabaseSetup.h"
#include "tests/support/TestPaths.h"

#include <algorithm>
#include <map>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStringList>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

// The login every station script begins with.
const QByteArray kLogIn = "0 set ComboBox1 admin\n0 set Edit1 123456\n0 click RzBitBtn1\n";

class ScriptModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::make_unique<TempDir>();
        m_station = QString::fromStdString(m_dir->path());
        database_setup::initDatabase(m_station + u"/database.mdb"_s, true);
    }

    static QString program(const QString& name) { return QString::fromStdString(binDir()) + u'/' + name; }
    static QString sample(const QString& name) {
        return QString::fromStdString(sourceDir()) + u"/tools/samples/"_s + name;
    }

    /// Runs a program to its end; its standard output's lines.
    static QStringList run(const QString& path, const QStringList& arguments, int* status = nullptr) {
        QProcess process;
        process.start(path, arguments);
        EXPECT_TRUE(process.waitForFinished(120000));
        if (status != nullptr) {
            *status = process.exitCode();
        }
        return QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

    QStringList runScript(const QString& script, int* status = nullptr) {
        QFile file(m_station + u"/script.txt"_s);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(script.toUtf8());
        file.close();
        return run(program(u"kelvora"_s),
                   {u"--script"_s, file.fileName(), u"--trace"_s, u"--virtual-clock"_s, u"--dir"_s, m_station}, status);
    }

    static QJsonObject json(const QString& line) { return QJsonDocument::fromJson(line.toUtf8()).object(); }

    std::unique_ptr<TempDir> m_dir;
    QString m_station;
};

TEST_F(ScriptModeTest, ASampleShiftThroughTheWindowGivesTheReplaysTrace) {
    for (const auto& [script, ini] :
         {std::pair{u"toledo-shift.txt"_s, u"Option.ini"_s}, std::pair{u"yaohua-shift.txt"_s, u"Option-yaohua.ini"_s},
          std::pair{u"toledo-shift.txt"_s, u"Option-stable.ini"_s}}) {
        QFile::remove(m_station + u"/Option.ini"_s);
        ASSERT_TRUE(QFile::copy(sample(ini), m_station + u"/Option.ini"_s));
        const QStringList replay =
            run(program(u"kelvora-tool"_s), {u"replay"_s, u"--ini"_s, sample(ini), sample(script)});
        // The station starts at its login window: the script logs in first, and the login window's own
        // showing and hiding are not the replay's.
        QFile shift(sample(script));
        ASSERT_TRUE(shift.open(QIODevice::ReadOnly));
        int status = -1;
        QStringList window = runScript(QString::fromUtf8(kLogIn + shift.readAll()), &status);
        EXPECT_EQ(status, 0);
        window.removeIf([](const QString& line) { return line.contains(u"\"name\":\"TLoginfrm\""_s); });
        // The window asks before it closes; the replay does not.
        const qsizetype confirmation = window.indexOf(
            QRegularExpression(uR"(.*"ev":"message","title":"提示！","text":"您确实要退出本系统吗？".*)"_s));
        ASSERT_GE(confirmation, 0);
        window.removeAt(confirmation);
        ASSERT_GT(replay.size(), 1000);
        EXPECT_EQ(window, replay) << script.toStdString();
    }
}

TEST_F(ScriptModeTest, DrivesTheWidgetsByNameAndTracesBoxesBeepsAndDumps) {
    int status = -1;
    const QStringList trace = runScript(QString::fromUtf8(kLogIn) + u"0 choose ComboBox1 大米-25kg\n"
                                                                    "10 dump Et2\n"
                                                                    "20 key Et1 x\n"
                                                                    "30 set Et3 11.4\n"
                                                                    "40 focus Et3\n"
                                                                    "50 focus Et1\n"
                                                                    "60 dump Et3\n"
                                                                    "70 click BtnSetTabs\n"
                                                                    "80 click BitBtn2\n"
                                                                    "90 dump ComboBox1\n"
                                                                    "100 dump Shape1\n"
                                                                    "110 answer Cancel\n"
                                                                    "120 close\n"
                                                                    "130 dump BtnSetTabs\n"_s,
                                        &status);
    EXPECT_EQ(status, 0);
    QStringList events;
    for (const QString& line : trace) {
        const QJsonObject object = json(line);
        events << object.value(u"ev"_s).toString();
        const QString ev = object.value(u"ev"_s).toString();
        if (ev == u"dump"_s) {
            const QString name = object.value(u"name"_s).toString();
            if (name == u"Et2"_s) {
                EXPECT_EQ(object.value(u"text"_s).toString(), u"25.500"_s);
            } else if (name == u"Et3"_s) {
                EXPECT_EQ(object.value(u"text"_s).toString(), u"11.400"_s); // formatted on leaving
            } else if (name == u"ComboBox1"_s) {
                EXPECT_EQ(object.value(u"text"_s).toString(), u"大米-25kg"_s);
                EXPECT_EQ(object.value(u"items"_s).toArray().size(), 5);
            } else if (name == u"Shape1"_s) {
                EXPECT_EQ(object.value(u"color"_s).toString(), u"lime"_s);
            } else if (name == u"BtnSetTabs"_s) {
                EXPECT_FALSE(object.value(u"enabled"_s).toBool());
                EXPECT_TRUE(object.value(u"visible"_s).toBool());
            }
        }
        if (ev == u"message"_s && object.value(u"text"_s).toString() == u"已经存在此型号!"_s) {
            EXPECT_EQ(object.value(u"title"_s).toString(), u"提示!"_s);
            EXPECT_EQ(object.value(u"icon"_s).toString(), u"none"_s);
        }
    }
    // The disabled Stop does nothing; Add finds 大米-25kg there; Cancel keeps the window for the last dump.
    SCOPED_TRACE(trace.join(u'\n').toStdString());
    EXPECT_EQ(events.count(u"beep"_s), 1);
    EXPECT_EQ(events.count(u"message"_s), 2);
    EXPECT_EQ(events.count(u"dump"_s), 5);
    EXPECT_EQ(events.count(u"ini"_s), 0);
}

// A model whose lower limit is less than twice the product threshold (10 without Option.ini) is chosen
// with a notice, traced as a message line after the model's values are shown.
TEST_F(ScriptModeTest, AModelBelowTwiceTheThresholdIsChosenWithATracedNotice) {
    int status = -1;
    const QStringList trace =
        runScript(QString::fromUtf8(kLogIn) + u"0 choose ComboBox1 大米-5kg\n10 dump Et3\n20 close\n"_s, &status);
    EXPECT_EQ(status, 0);
    SCOPED_TRACE(trace.join(u'\n').toStdString());
    const qsizetype notice = trace.indexOf(
        QRegularExpression(uR"(.*"ev":"message","title":"提示","text":"型号“大米-5kg”的下限值 4\.925 kg .*)"_s));
    ASSERT_GE(notice, 0);
    EXPECT_TRUE(trace[notice].contains(u"产品下限值 10.000 kg"_s));
    const qsizetype shown = trace.indexOf(QRegularExpression(uR"(.*"ev":"dump","name":"Et3".*)"_s));
    ASSERT_GT(shown, notice);
    EXPECT_TRUE(trace[shown].contains(u"\"4.925\""_s));
}

// The statistics window beside the station through a sample shift: the figures of the batch in force
// (from Continue on) agree with the rows the station stored, and the alerts are listed with their times,
// the marquee scrolling the last one while no good product has followed.
TEST_F(ScriptModeTest, TheStatisticsOfASampleShiftAgreeWithTheStoredRows) {
    QFile::remove(m_station + u"/Option.ini"_s);
    ASSERT_TRUE(QFile::copy(sample(u"Option.ini"_s), m_station + u"/Option.ini"_s));
    QFile shift(sample(u"toledo-shift.txt"_s));
    ASSERT_TRUE(shift.open(QIODevice::ReadOnly));
    QByteArray lines = shift.readAll();
    lines.replace("285897 close\n", "285000 dump figuresTable\n285000 dump alertList\n285000 dump RzMarqueeStatus1\n"
                                    "285000 dump sourceBox\n285100 choose sourceBox 当前班次\n"
                                    "285100 dump figuresTable\n285897 close\n");
    int status = -1;
    const QStringList trace = runScript(QString::fromUtf8(kLogIn + "0 click BtnStatistics\n" + lines), &status);
    ASSERT_EQ(status, 0);
    std::map<QString, QJsonObject> dumps;
    std::vector<QJsonObject> tables;
    QStringList windows;
    for (const QString& line : trace) {
        const QJsonObject object = json(line);
        if (object.value(u"ev"_s) == u"dump"_s)
            dumps[object.value(u"name"_s).toString()] = object;
        if (object.value(u"name"_s) == u"figuresTable"_s)
            tables.push_back(object);
        if (object.value(u"ev"_s) == u"window"_s)
            windows << object.value(u"name"_s).toString() + (object.value(u"shown"_s).toBool() ? u"+"_s : u"-"_s);
    }
    EXPECT_EQ(windows, (QStringList{u"TLoginfrm+"_s, u"TLoginfrm-"_s, u"StatisticsWindow+"_s, u"StatisticsWindow-"_s}));
    ASSERT_EQ(dumps.size(), 4u);
    ASSERT_EQ(tables.size(), 2u);
    std::map<QString, QString> figures, shiftFigures;
    for (const QJsonValue& row : tables[0].value(u"rows"_s).toArray())
        figures[row.toArray().at(0).toString()] = row.toArray().at(1).toString();
    for (const QJsonValue& row : tables[1].value(u"rows"_s).toArray())
        shiftFigures[row.toArray().at(0).toString()] = row.toArray().at(1).toString();

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"statistics"_s);
        db.setDatabaseName(m_station + u"/database.mdb"_s);
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        ASSERT_TRUE(query.exec(uR"(select count(*), avg("重量"), sum("检定结果" = '正常'), min("重量"), max("重量"),
                                  sum("检定结果" = '超高'), sum("检定结果" = '超低') from "weight" where "型号" = '罐装B-480')"_s));
        ASSERT_TRUE(query.next());
        EXPECT_GT(query.value(0).toInt(), 100);
        EXPECT_EQ(figures[u"产品数"_s], query.value(0).toString());
        EXPECT_EQ(figures[u"平均值"_s], QString::number(query.value(1).toDouble(), 'f', 3));
        EXPECT_EQ(figures[u"正常"_s], query.value(2).toString());
        EXPECT_EQ(figures[u"最小值"_s], QString::number(query.value(3).toDouble(), 'f', 3));
        EXPECT_EQ(figures[u"最大值"_s], QString::number(query.value(4).toDouble(), 'f', 3));
        EXPECT_EQ(figures[u"超高"_s], query.value(5).toString());
        EXPECT_EQ(figures[u"超低"_s], query.value(6).toString());
        // The current shift of the model in force: the same rows, read back from the database.
        EXPECT_EQ(shiftFigures[u"产品数"_s], query.value(0).toString());
        EXPECT_EQ(shiftFigures[u"平均值"_s], figures[u"平均值"_s]);
        db.close();
    }
    QSqlDatabase::removeDatabase(u"statistics"_s);
    // 12.3 kg: TNE 150 g. About one product a second on the script's clock.
    EXPECT_EQ(figures[u"TU1（g）"_s], u"12150.0"_s);
    EXPECT_EQ(figures[u"TU2（g）"_s], u"12000.0"_s);
    EXPECT_NEAR(figures[u"速度（全批，个/分钟）"_s].toDouble(), 60.0, 10.0);

    const QJsonArray alerts = dumps[u"alertList"_s].value(u"rows"_s).toArray();
    ASSERT_FALSE(alerts.isEmpty());
    const QRegularExpression timed(uR"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  \S)"_s);
    for (const QJsonValue& alert : alerts)
        EXPECT_TRUE(timed.match(alert.toArray().at(0).toString()).hasMatch())
            << alert.toArray().at(0).toString().toStdString();
    const QString marquee = dumps[u"RzMarqueeStatus1"_s].value(u"text"_s).toString();
    EXPECT_TRUE(alerts.last().toArray().at(0).toString().endsWith(marquee)) << marquee.toStdString();
    EXPECT_EQ(dumps[u"sourceBox"_s].value(u"text"_s).toString(), u"当前批次"_s);
    EXPECT_EQ(
        std::count_if(trace.begin(), trace.end(), [](const QString& line) { return line.contains(u"\"error\""_s); }),
        0);
}

TEST_F(ScriptModeTest, ABadLineEndsTheRunWithStatusTwo) {
    int status = -1;
    runScript(QString::fromUtf8(kLogIn) + u"0 set Et1 1\n5 wobble Et1\n"_s, &status);
    EXPECT_EQ(status, 2);
    runScript(QString::fromUtf8(kLogIn) + u"10 set Et1 1\n5 set Et1 2\n"_s, &status);
    EXPECT_EQ(status, 2);
}

} // namespace
} // namespace kelvora::test
