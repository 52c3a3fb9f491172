// The station program started as an operator starts it: the folder it is given, and its end.
#include "data/DatabaseSetup.h"
#include "tests/support/TestPaths.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

struct StationRun {
    int status = -1;
    QStringList trace;
    QString errors;
};

class StationStartTest : public ::testing::Test {
protected:
    QString station() const { return QString::fromStdString(m_station.path()); }

    /// kelvora in script mode with the trace, on the virtual clock, in the station folder.
    StationRun runScript(const QByteArray& script) {
        QFile file(QString::fromStdString(m_scripts.file("script.txt")));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(script);
        file.close();
        QProcess process;
        process.start(QString::fromStdString(binDir()) + u"/kelvora"_s,
                      {u"--script"_s, file.fileName(), u"--trace"_s, u"--virtual-clock"_s, u"--dir"_s, station()});
        EXPECT_TRUE(process.waitForFinished(60000));
        StationRun run;
        run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.trace = QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        run.errors = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    static QJsonObject json(const QString& line) { return QJsonDocument::fromJson(line.toUtf8()).object(); }

    TempDir m_station;
    TempDir m_scripts;
};

// The login window dies with the main window; its hiding on the way is traced through the station's host,
// which must still be there (a sanitizer build reports a call on the destroyed host otherwise).
TEST_F(StationStartTest, AWrongPasswordThenExitEndsCleanlyUnderTheTrace) {
    database_setup::initDatabase(station() + u"/database.mdb"_s, true);
    const StationRun run = runScript("0 set ComboBox1 admin\n0 set Edit1 wrong\n0 click RzBitBtn1\n10 click RzBitBtn2\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(run.errors.contains(u"runtime error"_s) || run.errors.contains(u"Sanitizer"_s))
        << run.errors.toStdString();
    ASSERT_GE(run.trace.size(), 3);
    const QJsonObject refused = json(run.trace.at(run.trace.size() - 2));
    EXPECT_EQ(refused.value(u"text"_s).toString(), u"您输入的用户名或密码不正确,请重新输入!"_s);
    const QJsonObject last = json(run.trace.last());
    EXPECT_EQ(last.value(u"ev"_s).toString(), u"window"_s) << run.trace.last().toStdString();
    EXPECT_FALSE(last.value(u"shown"_s).toBool());
    EXPECT_EQ(last.value(u"t"_s).toInt(), 10);
}

TEST_F(StationStartTest, AFolderWithoutDatabaseAndOptionIniIsRefusedAndLeftEmpty) {
    const StationRun run = runScript("0 set ComboBox1 admin\n");
    EXPECT_EQ(run.status, 1);
    ASSERT_EQ(run.trace.size(), 1) << run.trace.join(u'\n').toStdString();
    const QJsonObject box = json(run.trace.first());
    EXPECT_EQ(box.value(u"ev"_s).toString(), u"message"_s);
    EXPECT_EQ(box.value(u"title"_s).toString(), u"提示"_s);
    const QString text = box.value(u"text"_s).toString();
    EXPECT_TRUE(text.contains(station())) << text.toStdString();
    EXPECT_TRUE(text.contains(u"kelvora-tool station init 目录"_s)) << text.toStdString();
    EXPECT_TRUE(run.errors.contains(u"no station folder"_s)) << run.errors.toStdString();
    EXPECT_EQ(QDir(station()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

// With Option.ini but without its database the window opens, yet with nothing an operator could start.
TEST_F(StationStartTest, AFolderWithoutItsDatabaseOpensWithoutTheGovernedButtons) {
    QFile ini(station() + u"/Option.ini"_s);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[Word]\nNum=100\n");
    ini.close();
    const StationRun run = runScript("0 dump BtnClear\n0 dump BtnUtilities\n0 dump BtnSendtoBack\n10 close\n");
    EXPECT_EQ(run.status, 0);
    QStringList visible;
    QStringList errors;
    for (const QString& line : run.trace) {
        const QJsonObject object = json(line);
        if (object.value(u"ev"_s) == u"dump"_s && object.value(u"visible"_s).toBool())
            visible << object.value(u"name"_s).toString();
        if (object.value(u"ev"_s) == u"error"_s)
            errors << object.value(u"text"_s).toString();
    }
    EXPECT_EQ(visible, QStringList{u"BtnSendtoBack"_s});
    ASSERT_FALSE(errors.isEmpty());
    EXPECT_TRUE(errors.first().contains(QDir::toNativeSeparators(station() + u"/database.mdb"_s)))
        << errors.first().toStdString();
    EXPECT_EQ(QDir(station()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
              QStringList{u"Option.ini"_s});
}

} // namespace
} // namespace kelvora::test
