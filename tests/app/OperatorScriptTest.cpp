// The station program driven by a script through the login, the rights editor and the query window.
#include "data/DatabaseSetup.h"
#include "tests/support/TestPaths.h"

#include <fstream>

#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

class OperatorScriptTest : public ::testing::Test {
protected:
    void SetUp() override { database_setup::initDatabase(QString::fromStdString(m_dir.file("database.mdb")), false); }

    // Runs the script in the station folder; the trace lines.
    QStringList run(const std::string& script, int expectedStatus = 0) {
        std::ofstream(m_dir.file("script.txt"), std::ios::binary) << script;
        QProcess station;
        station.setWorkingDirectory(QString::fromStdString(m_dir.path()));
        station.start(QString::fromStdString(test::binDir() + "/kelvora"),
                      {u"--script"_s, u"script.txt"_s, u"--trace"_s, u"--virtual-clock"_s});
        EXPECT_TRUE(station.waitForFinished(30000));
        EXPECT_EQ(station.exitCode(), expectedStatus) << station.readAllStandardError().toStdString();
        return QString::fromUtf8(station.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    }

    static QString line(const QStringList& trace, const QString& part) {
        for (const QString& l : trace)
            if (l.contains(part))
                return l;
        return {};
    }

    test::TempDir m_dir;
};

TEST_F(OperatorScriptTest, LogInEditARightThroughTheNavigatorAndQuery) {
    const QStringList trace = run("0 set ComboBox1 admin\n"
                                  "10 set Edit1 123456\n"
                                  "20 click RzBitBtn1\n"
                                  "30 dump RzFieldStatus3\n"
                                  "40 click BtnAttachFiles\n"
                                  "50 cell DBGridEh1 0 开始 0\n"
                                  "60 click RzDBNavigator1.更新\n"
                                  "70 dump DBGridEh1\n"
                                  "80 close\n"
                                  "90 click BtnSecurity\n"
                                  "100 set ComboBox2 \n"
                                  "110 click Button1\n"
                                  "120 dump StatusBar1\n"
                                  "130 close\n"
                                  "140 answer OK\n"
                                  "150 click BtnExit\n");
    EXPECT_TRUE(line(trace, u"\"RzFieldStatus3\""_s).contains(u"\"text\":\"admin\""_s));
    EXPECT_TRUE(line(trace, u"\"DBGridEh1\""_s).contains(uR"("rows":[["admin","1","0","1","1","1","1","1","1"]])"_s))
        << line(trace, u"DBGridEh1"_s).toStdString();
    EXPECT_TRUE(line(trace, u"\"StatusBar1\""_s).contains(u"共0条记录。"_s));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"check"_s);
        db.setDatabaseName(QString::fromStdString(m_dir.file("database.mdb")));
        ASSERT_TRUE(db.open());
        QSqlQuery query(u"select 开始 from users"_s, db);
        ASSERT_TRUE(query.next());
        EXPECT_EQ(query.value(0).toInt(), 0);
    }
    QSqlDatabase::removeDatabase(u"check"_s);
}

TEST_F(OperatorScriptTest, AWrongPasswordKeepsTheLoginWindow) {
    const QStringList trace = run("0 set ComboBox1 admin\n"
                                  "10 set Edit1 bad\n"
                                  "20 click RzBitBtn1\n"
                                  "30 dump Edit1\n"
                                  "40 click RzBitBtn2\n");
    EXPECT_TRUE(line(trace, u"\"message\""_s).contains(u"您输入的用户名或密码不正确,请重新输入!"_s));
    EXPECT_TRUE(line(trace, u"\"dump\""_s).contains(u"\"text\":\"\""_s));
    // 退出 ends the program at once: no exit confirmation, no count saved.
    EXPECT_TRUE(line(trace, u"您确实要退出本系统吗"_s).isEmpty());
    EXPECT_TRUE(line(trace, u"SC_Num"_s).isEmpty());
    EXPECT_TRUE(line(trace, u"\"frame\""_s).isEmpty());
}

} // namespace
} // namespace kelvora
