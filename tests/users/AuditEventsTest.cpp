// What the operator's windows write to the audit trail: logins, users and rights, the settings window and
// Option.ini changed while the program was not running.
#include "UsersTestSupport.h"
#include "app/config/ProfileFile.h"
#include "app/config/StationConfig.h"
#include "data/AuditTrail.h"
#include "tests/support/MessageBoxRecorder.h"
#include "ui/DataGrid.h"
#include "ui/RecordNavigator.h"
#include "users/Login.h"
#include "users/LoginTarget.h"
#include "users/SetPara.h"
#include "users/SettingsAudit.h"
#include "users/Unit2.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

class NoTarget : public LoginTarget {
public:
    void setOperatorName(const QString&) override {}
    void setRightVisible(const QString&, bool) override {}
};

class AuditEventsTest : public test::UsersDatabaseTest {
protected:
    void SetUp() override {
        UsersDatabaseTest::SetUp();
        AuditTrail::configure(m_database->connectionString(), u"线1"_s);
        m_ini = (m_database->folder() + u"/Option.ini"_s).toStdString();
    }
    void TearDown() override { AuditTrail::unconfigure(); }

    // The trail's rows as "操作员|事件|对象|旧值|新值".
    QStringList trail() {
        QSqlQuery query(m_connection->database());
        query.exec(u"select 操作员, 事件, 对象, 旧值, 新值 from audit order by 序号"_s);
        QStringList rows;
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < 5; ++i)
                fields << query.value(i).toString();
            rows << fields.join(u'|');
        }
        return rows;
    }

    std::string m_ini;
    test::MessageBoxRecorder m_boxes;
};

TEST_F(AuditEventsTest, LoginsFailedAndSucceededNameTheUser) {
    NoTarget target;
    TLoginfrm login(*m_connection, target);
    login.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&login));
    login.findChild<QComboBox*>(u"ComboBox1"_s)->setEditText(u"admin"_s);
    login.findChild<QLineEdit*>(u"Edit1"_s)->setText(u"wrong"_s);
    login.findChild<QPushButton*>(u"RzBitBtn1"_s)->click();
    login.findChild<QLineEdit*>(u"Edit1"_s)->setText(u"123456"_s);
    login.findChild<QPushButton*>(u"RzBitBtn1"_s)->click();
    ASSERT_TRUE(login.loggedIn());
    EXPECT_EQ(trail(), QStringList({u"|登录失败|admin||"_s, u"admin|登录|admin||"_s}));
    EXPECT_EQ(AuditTrail::configured()->operatorName(), u"admin"_s);
}

TEST_F(AuditEventsTest, EachUserAddedChangedOrDeletedAndTheLastManagerKept) {
    addUser(u"bob"_s, u"x"_s, {false, true, false, false, false, false, false, false});
    TForm2 editor(*m_connection);
    editor.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&editor));
    auto* grid = editor.findChild<DataGrid*>(u"DBGridEh1"_s);
    auto* navigator = editor.findChild<RecordNavigator*>(u"RzDBNavigator1"_s);
    ASSERT_TRUE(grid->setCellText(1, u"查询"_s, u"1"_s));
    navigator->press(RecordNavigator::Action::Post);
    m_boxes.answer(QMessageBox::Ok);
    navigator->press(RecordNavigator::Action::Delete);
    EXPECT_EQ(trail(), QStringList({u"|用户修改|bob|名称=bob；权限=开始|名称=bob；权限=开始、查询"_s,
                                    u"|用户删除|bob|名称=bob；权限=开始、查询|"_s}));

    // The only user who may manage users keeps the right, and cannot go; an empty name is refused.
    ASSERT_TRUE(grid->setCellText(0, u"用户"_s, u"0"_s));
    navigator->press(RecordNavigator::Action::Post);
    ASSERT_FALSE(m_boxes.boxes.empty());
    EXPECT_TRUE(m_boxes.boxes.back().text.contains(u"至少要保留一个有“用户”权限的用户"_s))
        << m_boxes.boxes.back().text.toStdString();
    navigator->press(RecordNavigator::Action::Cancel);
    navigator->press(RecordNavigator::Action::Delete);
    EXPECT_TRUE(m_boxes.boxes.back().text.contains(u"至少要保留"_s)) << m_boxes.boxes.back().text.toStdString();
    navigator->press(RecordNavigator::Action::Insert);
    ASSERT_TRUE(grid->setCellText(0, u"用户名称"_s, u" "_s));
    navigator->press(RecordNavigator::Action::Post);
    EXPECT_TRUE(m_boxes.boxes.back().text.contains(u"用户名称不能为空"_s)) << m_boxes.boxes.back().text.toStdString();
    navigator->press(RecordNavigator::Action::Cancel);
    EXPECT_EQ(users(), QStringList({u"admin|123456|11111111"_s}));
    EXPECT_EQ(trail().size(), 2) << "refused edits are not recorded";
    // With a second manager the first may give the right up.
    addUser(u"carl"_s, u"x"_s, {true, false, false, false, false, false, false, false});
    exec(u"update users set 用户 = 0 where 用户名称 = 'admin'"_s);
    EXPECT_EQ(users().first(), u"admin|123456|01111111"_s);
}

TEST_F(AuditEventsTest, TheSettingsWindowRecordsEachKeyItChanged) {
    ProfileFile(m_ini).writeString("下限值", "Value", "10.000");
    StationConfig::saveSettingsWindow(m_ini, StationConfig::loadSettingsWindow(m_ini)); // every key written
    TSetParaFrm window(m_ini);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.findChild<QLineEdit*>(u"Edit1"_s)->setText(u"0.2"_s);
    window.findChild<QComboBox*>(u"RzComboBox2"_s)->setEditText(u"19200"_s);
    window.findChild<QPushButton*>(u"RzBitBtn1"_s)->click();
    const QStringList rows = trail();
    EXPECT_TRUE(rows.contains(u"|设置修改|[下限值] Value|10.000|0.2"_s)) << rows.join(u'\n').toStdString();
    EXPECT_TRUE(rows.contains(u"|设置修改|[串行口] Baudrate|9600|19200"_s)) << rows.join(u'\n').toStdString();
    // What the window wrote is the station's own change: no outside change at the next start.
    EXPECT_EQ(SettingsAudit::recordOutsideChanges(m_ini, *AuditTrail::configured()), 0);
    // The threshold counts as a legally relevant change, the baud rate not; the next window shows it.
    EXPECT_EQ(SettingsAudit::legalCounter(*AuditTrail::configured()), 1);
    TSetParaFrm again(m_ini);
    EXPECT_EQ(again.findChild<QLabel*>(u"LegalCounter"_s)->text(), u"计量参数修改次数：1"_s);
}

TEST_F(AuditEventsTest, OptionIniEditedWhileTheProgramWasNotRunning) {
    ProfileFile(m_ini).writeString("下限值", "Value", "10.000");
    AuditTrail& trail = *AuditTrail::configured();
    EXPECT_EQ(SettingsAudit::recordOutsideChanges(m_ini, trail), 0) << "a first start only takes note";
    ProfileFile ini(m_ini);
    ini.writeString("下限值", "Value", "0.5");
    ini.writeString("Word", "Num", "100");
    ini.writeString("Word", "SC_Num", "37"); // the station's own counter
    EXPECT_EQ(SettingsAudit::recordOutsideChanges(m_ini, trail), 2);
    EXPECT_EQ(this->trail(),
              QStringList({u"|批次修改|[Word] Num|(无)|100"_s, u"|设置文件外部修改|[下限值] Value|10.000|0.5"_s}));
    EXPECT_EQ(SettingsAudit::recordOutsideChanges(m_ini, trail), 0);
    EXPECT_TRUE(SettingsAudit::legallyRelevant(u"[下限值] Value"_s));
    EXPECT_FALSE(SettingsAudit::legallyRelevant(u"[Word] Num"_s));
}

} // namespace
} // namespace kelvora
