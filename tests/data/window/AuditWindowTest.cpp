#include "data/window/AuditWindow.h"

#include "DataTestSupport.h"
#include "data/AuditTrail.h"
#include "tests/support/MessageBoxRecorder.h"

#include <QFile>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

TEST(AuditWindowTest, FiltersByTimeOperatorAndEventExportsAndPrints) {
    const auto database = test::TestDatabase::create(test::Engine::Sqlite);
    AuditTrail trail(database->connectionString(), u"线1"_s);
    trail.record(audit_event::kLoginFailed, u"张三"_s);
    trail.setOperator(u"张三"_s);
    trail.record(audit_event::kLogin, u"张三"_s);
    trail.record(audit_event::kModelChanged, u"A100"_s, u"上限值=20"_s, u"上限值=25, \"高\""_s);
    trail.setOperator(u"admin"_s);
    trail.record(audit_event::kSetting, u"[下限值] Value"_s, u"10"_s, u"0.2"_s);
    test::MessageBoxRecorder boxes;
    TAuditFrm window(database->connectionString());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.statusText(), u"共4条记录。"_s) << "the last week at once";
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime from = now.addSecs(-60);
    const QDateTime to = now.addSecs(60);
    EXPECT_EQ(window.search(from, to, u"张三"_s, {}), 2);
    EXPECT_EQ(window.search(from, to, {}, audit_event::kSetting), 1);
    EXPECT_EQ(window.search(from, to, u"张三"_s, audit_event::kSetting), 0);
    EXPECT_EQ(window.search(now.addDays(-3), now.addDays(-2), {}, {}), 0);

    QTemporaryDir dir;
    ASSERT_EQ(window.search(from, to, u"张三"_s, audit_event::kModelChanged), 1);
    ASSERT_EQ(window.exportTo(dir.filePath(u"audit.csv"_s)), 1);
    QFile file(dir.filePath(u"audit.csv"_s));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
    const QString text = QString::fromUtf8(bytes.mid(3));
    EXPECT_TRUE(text.startsWith(u"时间,站点,序号,操作员,事件,对象,旧值,新值,备注\r\n"_s)) << text.toStdString();
    EXPECT_TRUE(text.endsWith(u",线1,3,张三,型号修改,A100,上限值=20,\"上限值=25, \"\"高\"\"\",\r\n"_s))
        << text.toStdString();
    QPdfWriter pdf(dir.filePath(u"audit.pdf"_s));
    EXPECT_EQ(window.printTo(pdf), 1);
    EXPECT_TRUE(boxes.boxes.empty());
}

} // namespace
} // namespace kelvora
