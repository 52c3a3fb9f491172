// kelvora-tool report: signing the PDF with the signer's password, the chain warning, the stations'
// legal counters and the limits each model is judged by.
#include "DataTestSupport.h"
#include "data/AuditTrail.h"
#include "data/TADOConnection.h"
#include "quality/report/ReportIntegrity.h"
#include "quality/report/ShiftReport.h"
#include "tests/support/LinkedRows.h"
#include "tests/support/TestPaths.h"
#include "users/Accounts.h"
#include "users/SettingsAudit.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

using test::Engine;
using test::LinkedRow;
using test::TestDatabase;

const QString kPassword = u"Qs-2468"_s;

// kelvora-tool report with `input` on standard input; the exit code, stdout and stderr in `out`.
int tool(const QStringList& arguments, const QByteArray& input = {}, QString* out = nullptr) {
    QProcess process;
    process.start(QString::fromStdString(test::binDir() + "/kelvora-tool"), QStringList{u"report"_s} + arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput() + process.readAllStandardError());
    return process.exitCode();
}

#ifdef KELVORA_REPORT_PDF
QString pdfText(const QString& pdf) {
    QProcess text;
    text.start(u"pdftotext"_s, {pdf, u"-"_s});
    text.waitForFinished(30000);
    return QString::fromUtf8(text.readAllStandardOutput());
}
#endif

class ReportSigningTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_database = TestDatabase::create(Engine::Sqlite, true, true);
        m_connection = std::make_unique<TADOConnection>(m_database->connectionString());
        std::vector<LinkedRow> rows;
        for (int i = 0; i < 20; ++i)
            rows.push_back({u"白糖-1kg"_s, 1.002 + 0.001 * (i % 3), u"正常"_s,
                            u"2024-07-15 08:00:%1"_s.arg(i, 2, 10, QChar(u'0')), 1.0, 1.03, 0.985});
        test::addLinkedRows(*m_connection, u"线1"_s, rows);
        AccountSettings accounts;
        accounts.enabled = true;
        Accounts(*m_connection, accounts).changePassword(u"admin"_s, u"123456"_s, kPassword);
    }

    QStringList range() const {
        return {u"--db"_s, m_database->target(),    u"--from"_s, u"2024-07-15 08:00:00"_s,
                u"--to"_s, u"2024-07-15 08:59:59"_s};
    }
    QString pdf() const { return m_database->folder() + u"/签名报表.pdf"_s; }

    // The audit rows of event `event`: operator, object, new value, note each.
    std::vector<QStringList> auditRows(const QString& event) {
        QSqlQuery query(m_connection->database());
        query.prepare(u"select 操作员, 对象, 新值, 备注 from audit where 事件 = ? order by 序号"_s);
        query.addBindValue(event);
        EXPECT_TRUE(query.exec());
        std::vector<QStringList> rows;
        while (query.next())
            rows.push_back({query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                            query.value(3).toString()});
        return rows;
    }

    std::optional<TestDatabase> m_database;
    std::unique_ptr<TADOConnection> m_connection;
};

#ifdef KELVORA_REPORT_PDF

TEST_F(ReportSigningTest, TheRightPasswordSignsThePdfAndTheTrailNamesThatDocument) {
    QString out;
    ASSERT_EQ(tool(range() + QStringList{u"--pdf"_s, pdf(), u"--sign"_s, u"admin"_s, u"--meaning"_s, u"审核"_s},
                   kPassword.toUtf8() + "\n", &out),
              0)
        << out.toStdString();
    const QString text = pdfText(pdf());
    EXPECT_TRUE(text.contains(u"电子签名：admin（审核）"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"签名时间："_s));
    EXPECT_FALSE(text.contains(u"质检员签字"_s)) << "the signature fills the lines";

    const auto rows = auditRows(audit_event::kSignature);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], u"admin"_s);
    EXPECT_TRUE(rows[0][1].contains(u"签名报表.pdf"_s)) << rows[0][1].toStdString();
    EXPECT_TRUE(rows[0][1].contains(u"2024-07-15 08:00:00 至 2024-07-15 08:59:59"_s));
    EXPECT_EQ(rows[0][2], u"审核"_s);
    QFile file(pdf());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QString sha =
        QString::fromLatin1(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex());
    EXPECT_TRUE(rows[0][3].contains(sha)) << "the record is bound to the very file";

    // The English meaning, a second signature: its own row.
    ASSERT_EQ(tool(range() + QStringList{u"--pdf"_s, pdf(), u"--sign"_s, u"admin"_s, u"--meaning"_s, u"approved"_s},
                   kPassword.toUtf8() + "\r\n"),
              0);
    EXPECT_TRUE(pdfText(pdf()).contains(u"电子签名：admin（批准）"_s));
    EXPECT_EQ(auditRows(audit_event::kSignature).size(), 2u);
}

TEST_F(ReportSigningTest, AWrongPasswordSignsNothingAndCountsAsAFailedLogin) {
    QString out;
    EXPECT_EQ(tool(range() + QStringList{u"--pdf"_s, pdf(), u"--sign"_s, u"admin"_s, u"--meaning"_s, u"批准"_s},
                   "qs-2468\n", &out),
              1);
    EXPECT_TRUE(out.contains(u"签名人“admin”的密码不正确，报表未签名"_s)) << out.toStdString();
    EXPECT_FALSE(QFile::exists(pdf()));
    QSqlQuery trail(m_connection->database());
    ASSERT_TRUE(trail.exec(u"select count(*) from audit"_s) && trail.next());
    EXPECT_EQ(trail.value(0).toInt(), 0) << "no row of any kind for a refused signature";
    QSqlQuery failures(m_connection->database());
    ASSERT_TRUE(failures.exec(u"select 失败次数 from accounts where 用户名称 = 'admin'"_s) && failures.next());
    EXPECT_EQ(failures.value(0).toInt(), 1);

    // Nothing typed at all, an unknown signer: refused alike.
    EXPECT_EQ(tool(range() + QStringList{u"--pdf"_s, pdf(), u"--sign"_s, u"admin"_s, u"--meaning"_s, u"审核"_s}), 1);
    EXPECT_EQ(tool(range() + QStringList{u"--pdf"_s, pdf(), u"--sign"_s, u"nobody"_s, u"--meaning"_s, u"审核"_s},
                   kPassword.toUtf8() + "\n"),
              1);
    EXPECT_FALSE(QFile::exists(pdf()));
}

TEST_F(ReportSigningTest, TheStationsAccountSettingsDecideHowThePasswordIsChecked) {
    const QString ini = m_database->folder() + u"/Option.ini"_s;
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[安全]\n账户=1\n失败次数=2\n[站点]\n名称=线7\n");
    file.close();
    const QStringList signing{u"--pdf"_s, pdf(), u"--sign"_s, u"admin"_s, u"--meaning"_s, u"审核"_s, u"--ini"_s, ini};
    QString out;
    EXPECT_EQ(tool(range() + signing, "wrong\n"), 1);
    EXPECT_EQ(tool(range() + signing, "wrong\n", &out), 1);
    EXPECT_TRUE(out.contains(u"已被锁定"_s)) << out.toStdString();
    EXPECT_EQ(tool(range() + signing, kPassword.toUtf8() + "\n", &out), 1) << "a locked user signs nothing";
    EXPECT_EQ(auditRows(audit_event::kUserLocked).size(), 1u);
    EXPECT_TRUE(auditRows(audit_event::kSignature).empty());
}

TEST_F(ReportSigningTest, TheInitialPasswordIsNoSignatureButAStationWithoutAccountsComparesAsItsLoginDoes) {
    QSqlQuery sql(m_connection->database());
    ASSERT_TRUE(sql.exec(u"insert into users (用户名称, 用户密码, 用户) values ('李四', '123456', 0)"_s));
    const QStringList signing{u"--pdf"_s, pdf(), u"--sign"_s, u"李四"_s, u"--meaning"_s, u"reviewed"_s};
    QString out;
    EXPECT_EQ(tool(range() + signing, "123456\n", &out), 1);
    EXPECT_TRUE(out.contains(u"初始密码"_s)) << out.toStdString();
    const QString ini = m_database->folder() + u"/Option.ini"_s;
    QFile file(ini);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[站点]\n名称=线7\n");
    file.close();
    ASSERT_EQ(tool(range() + signing + QStringList{u"--ini"_s, ini}, "123456\n", &out), 0) << out.toStdString();
    const auto rows = auditRows(audit_event::kSignature);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], u"李四"_s);
    QSqlQuery station(m_connection->database());
    ASSERT_TRUE(station.exec(u"select 站点 from audit where 事件 = '签名'"_s) && station.next());
    EXPECT_EQ(station.value(0).toString(), u"线7"_s);
}

#endif

TEST_F(ReportSigningTest, SigningArgumentsOutOfPlaceAreUsageErrors) {
    const QString file = pdf();
    EXPECT_EQ(tool(range() + QStringList{u"--sign"_s, u"admin"_s, u"--meaning"_s, u"审核"_s}, "x\n"), 2);
    EXPECT_EQ(tool(range() + QStringList{u"--pdf"_s, file, u"--sign"_s, u"admin"_s}, "x\n"), 2);
    EXPECT_EQ(tool(range() + QStringList{u"--pdf"_s, file, u"--sign"_s, u"admin"_s, u"--meaning"_s, u"同意"_s}, "x\n"),
              2);
    EXPECT_EQ(tool(range() + QStringList{u"--pdf"_s, file, u"--meaning"_s, u"审核"_s}, "x\n"), 2);
    EXPECT_EQ(tool(range() + QStringList{u"--pdf"_s, file, u"--sign"_s, u" "_s, u"--meaning"_s, u"审核"_s}, "x\n"), 2);
    EXPECT_EQ(tool(range() + QStringList{u"--pdf"_s, file, u"--sign"_s, u"admin"_s, u"--meaning"_s, u"审核"_s,
                                         u"--ini"_s, m_database->folder() + u"/Optoin.ini"_s},
                   kPassword.toUtf8() + "\n"),
              2)
        << "a mistyped station file never means a weaker check";
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_TRUE(auditRows(audit_event::kSignature).empty());
}

std::vector<QJsonObject> jsonLines(const QString& out) {
    std::vector<QJsonObject> lines;
    for (const QString& line : out.split(u'\n', Qt::SkipEmptyParts))
        if (line.startsWith(u'{'))
            lines.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
    return lines;
}

TEST_F(ReportSigningTest, AnEditedRowRaisesTheWarningAndEachStationsLegalCounterIsGiven) {
    AuditTrail trail(m_database->connectionString(), u"线1"_s);
    trail.record(audit_event::kModelChanged, u"白糖-1kg"_s, u"1.000"_s, u"1.010"_s);
    trail.record(audit_event::kSetting, u"[下限值] Value"_s, u"10.000"_s, u"0.200"_s);
    trail.record(audit_event::kSetting, u"[软件] 背景色"_s, u"1"_s, u"2"_s); // no bearing on a verdict
    AuditTrail(m_database->connectionString(), u"线2"_s).record(audit_event::kSettingOutside, u"[仪表] 解码"_s);
    const QStringList toNow{u"--db"_s, m_database->target(),    u"--from"_s, u"2024-07-15 08:00:00"_s,
                            u"--to"_s, u"2099-12-31 23:59:59"_s};
    QString out;
    ASSERT_EQ(tool(toNow, {}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.contains(u"法定相关设置事件计数器：线1 2（本时段 2 次）"_s)) << out.toStdString();
    EXPECT_FALSE(out.contains(u"防篡改"_s));
    ASSERT_EQ(tool(toNow + QStringList{u"--json"_s}, {}, &out), 0);
    auto lines = jsonLines(out);
    ASSERT_EQ(lines.size(), 1u) << out.toStdString();
    EXPECT_EQ(lines[0][u"chain_breaks"].toInt(), 0);
    EXPECT_EQ(lines[0][u"legal_counters"].toObject(), (QJsonObject{{u"线1"_s, 2}}));
    // The range's own station only; one that weighed nothing in it is not listed.
    EXPECT_EQ(SettingsAudit::legalCounter(trail), 2);

    QSqlQuery edit(m_connection->database());
    ASSERT_TRUE(edit.exec(u"update weight set 重量 = 1.1 where 序号 = 5"_s));
    ASSERT_EQ(tool(toNow + QStringList{u"--json"_s}, {}, &out), 0);
    EXPECT_TRUE(out.contains(u"警告：本时间范围内有 1 处记录未通过防篡改校验"_s)) << out.toStdString();
    lines = jsonLines(out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][u"chain_breaks"].toInt(), 1);
#ifdef KELVORA_REPORT_PDF
    ASSERT_EQ(tool(toNow + QStringList{u"--pdf"_s, pdf()}, {}, &out), 0) << out.toStdString();
    const QString text = pdfText(pdf());
    EXPECT_TRUE(text.contains(u"1 处记录未通过防篡改校验"_s)) << text.toStdString();
    EXPECT_TRUE(text.contains(u"线1 2（本时段 2 次）"_s));
#endif
}

TEST_F(ReportSigningTest, AModelIsJudgedByTheLimitsItsRowsHoldAndNotAsOneWhenTheyChanged) {
    // The catalogue changed since: the rows' own limits still judge them.
    QSqlQuery sql(m_connection->database());
    ASSERT_TRUE(sql.exec(u"update XH set 标准值 = 2.0, 上限值 = 2.06, 下限值 = 1.97 where 型号 = '白糖-1kg'"_s));
    QString out;
    ASSERT_EQ(tool(range() + QStringList{u"--json"_s, u"--lots"_s}, {}, &out), 0) << out.toStdString();
    auto lines = jsonLines(out);
    ASSERT_EQ(lines.size(), 2u) << out.toStdString();
    EXPECT_DOUBLE_EQ(lines[0][u"nominal_g"].toDouble(), 1000);
    EXPECT_TRUE(lines[0][u"limits_recorded"].toBool());
    EXPECT_EQ(lines[0][u"verdict"].toString(), u"合格"_s);
    EXPECT_DOUBLE_EQ(lines[1][u"nominal_g"].toDouble(), 1000) << "the lot agrees with its model";

    // Rows without limits are judged by the catalogue's; here they differ from the others' limits.
    ASSERT_TRUE(sql.exec(u"update weight set 标准值 = null, 上限值 = null, 下限值 = null where 序号 > 10"_s));
    ASSERT_EQ(tool(range() + QStringList{u"--json"_s}, {}, &out), 0);
    lines = jsonLines(out);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0][u"verdict"].toString(), u"不适用"_s);
    EXPECT_EQ(lines[0][u"reason"].toString(), u"限值在时段内有变化，按批判定"_s);
    ASSERT_EQ(tool(range(), {}, &out), 0);
    EXPECT_TRUE(out.contains(u"changed within the range, judged per lot"_s)) << out.toStdString();

    // The catalogue back at the rows' limits: one set again, as recorded.
    ASSERT_TRUE(sql.exec(u"update XH set 标准值 = 1.0, 上限值 = 1.03, 下限值 = 0.985 where 型号 = '白糖-1kg'"_s));
    ASSERT_EQ(tool(range() + QStringList{u"--json"_s}, {}, &out), 0);
    EXPECT_EQ(jsonLines(out)[0][u"verdict"].toString(), u"合格"_s);
    ASSERT_TRUE(sql.exec(u"update weight set 标准值 = null, 上限值 = null, 下限值 = null"_s));
    ASSERT_EQ(tool(range() + QStringList{u"--json"_s}, {}, &out), 0);
    EXPECT_FALSE(jsonLines(out)[0][u"limits_recorded"].toBool());
    ASSERT_EQ(tool(range(), {}, &out), 0);
    EXPECT_TRUE(out.contains(u"the catalogue's (rows without limits)"_s));
}

TEST(ReportIntegrityTest, CountersOfTheTrailsStationsWhenTheRowsNameNoneAndOnlyUpToTheRangesEnd) {
    const auto database = TestDatabase::create(Engine::Sqlite);
    TADOConnection connection(database->connectionString());
    AuditTrail(database->connectionString(), u"线3"_s).record(audit_event::kModelDeleted, u"B250"_s);
    const QDateTime now = QDateTime::currentDateTime();
    const auto integrity = [&](const QDateTime& from, const QDateTime& to) {
        return loadIntegrity(connection, {from, to, std::nullopt}, SettingsAudit::legalKeys());
    };
    const ReportIntegrity before = integrity(now.addDays(-2), now.addDays(-1));
    ASSERT_EQ(before.legalCounts.size(), 1u); // older rows without 站点: the trail's stations
    EXPECT_EQ(before.legalCounts[0].station, u"线3"_s);
    EXPECT_EQ(before.legalCounts[0].counter, 0) << "the deletion came after the range";
    const ReportIntegrity after = integrity(now.addDays(-1), now.addDays(1));
    EXPECT_EQ(after.legalCounts[0].counter, 1);
    EXPECT_EQ(after.legalCounts[0].inRange, 1);
    EXPECT_TRUE(after.holds());
    EXPECT_TRUE(after.warningText().isEmpty());
}

} // namespace
} // namespace kelvora
