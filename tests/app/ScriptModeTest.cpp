// The program in script mode, run as the operator's acceptance tests run it.
#include "data/DatabaseSetup.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

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
        int status = -1;
        QStringList window =
            run(program(u"kelvora"_s),
                {u"--script"_s, sample(script), u"--trace"_s, u"--virtual-clock"_s, u"--dir"_s, m_station}, &status);
        EXPECT_EQ(status, 0);
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
    const QStringList trace = runScript(u"0 choose ComboBox1 C12\n"
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
                EXPECT_EQ(object.value(u"text"_s).toString(), u"12.600"_s);
            } else if (name == u"Et3"_s) {
                EXPECT_EQ(object.value(u"text"_s).toString(), u"11.400"_s); // formatted on leaving
            } else if (name == u"ComboBox1"_s) {
                EXPECT_EQ(object.value(u"text"_s).toString(), u"C12"_s);
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
    // The disabled Stop does nothing; Add finds C12 there; Cancel keeps the window for the last dump.
    SCOPED_TRACE(trace.join(u'\n').toStdString());
    EXPECT_EQ(events.count(u"beep"_s), 1);
    EXPECT_EQ(events.count(u"message"_s), 2);
    EXPECT_EQ(events.count(u"dump"_s), 5);
    EXPECT_EQ(events.count(u"ini"_s), 0);
}

TEST_F(ScriptModeTest, ABadLineEndsTheRunWithStatusTwo) {
    int status = -1;
    runScript(u"0 set Et1 1\n5 wobble Et1\n"_s, &status);
    EXPECT_EQ(status, 2);
    runScript(u"10 set Et1 1\n5 set Et1 2\n"_s, &status);
    EXPECT_EQ(status, 2);
}

} // namespace
} // namespace kelvora::test
