#include "app/config/ProfileFile.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "tests/app/StationWindowFixture.h"
#include "users/ChangePassword.h"
#include "users/IdleWatch.h"
#include "users/PasswordHash.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

class CatalogueTest : public StationWindowTest {
protected:
    void SetUp() override {
        StationWindowTest::SetUp();
        makeDatabase();
        open();
    }

    void fill(const QString& name, const QString& standard, const QString& upper, const QString& lower) {
        ui().ComboBox1->setEditText(name);
        ui().Et1->setText(standard);
        ui().Et2->setText(upper);
        ui().Et3->setText(lower);
    }

    void choose(const QString& name) {
        const int index = ui().ComboBox1->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        ui().ComboBox1->setCurrentIndex(index);
        emit ui().ComboBox1->activated(index);
    }

    /// The model names in XH, in their order.
    QStringList storedNames() {
        TADOQuery query(m_form->ADO1);
        query.SQL.Add(u"Select  *  From  XH"_s);
        query.Open();
        QStringList names;
        for (; !query.Eof(); query.Next()) {
            names << query.FieldByName(u"型号"_s).AsString();
        }
        return names;
    }

    std::pair<QString, QString> lastBox() {
        EXPECT_FALSE(m_boxes.boxes.empty());
        const auto box = m_boxes.boxes.empty() ? std::pair<QString, QString>()
                                               : std::pair{m_boxes.boxes.back().title, m_boxes.boxes.back().text};
        m_boxes.boxes.clear();
        return box;
    }
};

TEST_F(CatalogueTest, EachAddModifyAndDeleteIsInTheAuditTrailWithTheValuesBeforeAndAfter) {
    fill(u"A100"_s, u"16"_s, u"20"_s, u"12"_s);
    m_form->BitBtn2Click();
    fill(u"A100"_s, u"16"_s, u"25"_s, u"12"_s);
    m_form->BitBtn4Click();
    m_form->BitBtn4Click(); // nothing changed: nothing recorded
    m_form->BitBtn3Click();
    QSqlQuery query(m_form->ADO1.database());
    query.exec(u"select 事件, 对象, 旧值, 新值 from audit order by 序号"_s);
    QStringList rows;
    while (query.next())
        rows << QStringList{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                            query.value(3).toString()}
                    .join(u'|');
    EXPECT_EQ(rows, QStringList({u"型号添加|A100||标准值=16；上限值=20；下限值=12"_s,
                                 u"型号修改|A100|标准值=16；上限值=20；下限值=12|标准值=16；上限值=25；下限值=12"_s,
                                 u"型号删除|A100|标准值=16；上限值=25；下限值=12|"_s}));
}

TEST_F(CatalogueTest, ChoosingAModelShowsItsLimitsAndResetsTheSignals) {
    m_form->core().state().SignalFlags = 5;
    choose(u"大米-25kg"_s);
    EXPECT_EQ(ui().Et1->text(), u"25.000"_s);
    EXPECT_EQ(ui().Et2->text(), u"25.500"_s);
    EXPECT_EQ(ui().Et3->text(), u"24.750"_s);
    EXPECT_EQ(m_form->core().state().SignalFlags, 0);
    EXPECT_TRUE(m_boxes.boxes.empty()); // 24.750 is at least twice the threshold of 10
}

// A pack lighter than the product threshold is never seen: a model whose lower limit is less than twice
// the threshold is chosen all the same, with a notice after its values are shown and the signals reset.
TEST_F(CatalogueTest, AModelWhoseLowerLimitIsBelowTwiceTheThresholdIsChosenWithANotice) {
    m_form->core().state().SignalFlags = 5;
    choose(u"大米-5kg"_s);
    EXPECT_EQ(ui().Et1->text(), u"5.000"_s);
    EXPECT_EQ(ui().Et2->text(), u"5.150"_s);
    EXPECT_EQ(ui().Et3->text(), u"4.925"_s);
    EXPECT_EQ(m_form->core().state().SignalFlags, 0);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    const MessageBox::Request notice = m_boxes.boxes[0];
    EXPECT_EQ(notice.title, u"提示"_s);
    EXPECT_FALSE(notice.errorBox);
    EXPECT_EQ(notice.text, u"型号“大米-5kg”的下限值 4.925 kg 不到产品下限值的两倍。\n"
                           "严重欠装、比产品下限值（产品下限值 10.000 kg）还轻的包装不会被当作产品：称重台看不到它，"
                           "它不经判定就通过。\n"
                           "请在“设置”中调低产品下限值，使它明显低于型号的下限值（重新启动程序后生效）。"_s);
    m_boxes.boxes.clear();
    // Twice the threshold exactly is enough; a name without a row shows zeros without a notice.
    fill(u"G20"_s, u"21"_s, u"22"_s, u"20"_s);
    m_form->BitBtn2Click();
    EXPECT_EQ(lastBox().second, u"添加成功！"_s);
    choose(u"G20"_s);
    EXPECT_TRUE(m_boxes.boxes.empty());
    ui().ComboBox1->addItem(u"H0"_s);
    choose(u"H0"_s);
    EXPECT_EQ(ui().Et3->text(), u"0.000"_s);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

TEST_F(CatalogueTest, TheNoticeFollowsTheStationsThresholdAndUnit) {
    m_form.reset();
    QFile ini(path(u"Option.ini"_s));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(u"[下限值]\nValue=0.2\n"_s.toUtf8());
    ini.close();
    open();
    for (const QString& name : {u"大米-5kg"_s, u"面粉-10kg"_s, u"大米-25kg"_s, u"白糖-1kg"_s, u"面粉-2.5kg"_s}) {
        choose(name); // the demo's threshold lies well below every lower limit
    }
    EXPECT_TRUE(m_boxes.boxes.empty());
    m_form.reset();
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(u"[下限值]\nValue=600\n[统计]\n重量单位=g\n"_s.toUtf8());
    ini.close();
    open();
    fill(u"袋装-1000g"_s, u"1000"_s, u"1030"_s, u"985"_s);
    m_form->BitBtn2Click();
    m_boxes.boxes.clear();
    choose(u"袋装-1000g"_s);
    EXPECT_TRUE(lastBox().second.startsWith(u"型号“袋装-1000g”的下限值 985.000 g 不到产品下限值的两倍。\n"
                                            "严重欠装、比产品下限值（产品下限值 600.000 g）"_s));
}

TEST_F(CatalogueTest, TypingAModelsNameIsNoChoice) {
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    ui().ComboBox1->setFocus();
    for (const QChar c : u"大米-25kg"_s) { // keyClicks knows only ASCII
        QTest::sendKeyEvent(QTest::Click, ui().ComboBox1, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    QTest::keyClick(ui().ComboBox1, Qt::Key_Return);
    ui().Et1->setFocus();
    EXPECT_EQ(ui().ComboBox1->currentText(), u"大米-25kg"_s);
    EXPECT_TRUE(ui().Et2->text().isEmpty());
    // The arrow keys choose.
    ui().ComboBox1->setFocus();
    QTest::keyClick(ui().ComboBox1, Qt::Key_Down);
    EXPECT_FALSE(ui().Et2->text().isEmpty());
}

TEST_F(CatalogueTest, AddReportsTheFirstEmptyFieldAndFocusesIt) {
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    const std::tuple<QStringList, QString, QWidget*> cases[] = {
        {{u"  "_s, u"1"_s, u"2"_s, u"0"_s}, u"请输入型号！"_s, ui().ComboBox1},
        {{u"N"_s, u""_s, u""_s, u""_s}, u"请输入标准重量！"_s, ui().Et1},
        {{u"N"_s, u"1"_s, u" "_s, u""_s}, u"请输入上限值！"_s, ui().Et2},
        {{u"N"_s, u"1"_s, u"2"_s, u""_s}, u"请输入下限值！"_s, ui().Et3}};
    for (const auto& [fields, message, focus] : cases) {
        fill(fields[0], fields[1], fields[2], fields[3]);
        m_form->BitBtn2Click();
        EXPECT_EQ(lastBox(), std::pair(u"提示"_s, message));
        EXPECT_TRUE(focus->hasFocus() || focus->isAncestorOf(QApplication::focusWidget())) << message.toStdString();
    }
    EXPECT_EQ(storedNames().size(), 5);
}

TEST_F(CatalogueTest, AddStoresTheTrimmedNameAppendsTheTypedOneAndRefusesADuplicate) {
    fill(u"  D7 "_s, u"7"_s, u"8"_s, u"6"_s);
    m_form->BitBtn2Click();
    EXPECT_EQ(lastBox(), std::pair(u"提示!"_s, u"添加成功！"_s));
    EXPECT_EQ(storedNames().last(), u"D7"_s);
    EXPECT_EQ(ui().ComboBox1->itemText(ui().ComboBox1->count() - 1), u"  D7 "_s);
    EXPECT_EQ(ui().ComboBox1->currentText(), u"  D7 "_s);
    m_form->BitBtn2Click();
    EXPECT_EQ(lastBox(), std::pair(u"提示!"_s, u"已经存在此型号!"_s));
    EXPECT_EQ(storedNames().count(u"D7"_s), 1);
    // Choosing the entry with its blanks finds the trimmed row.
    choose(u"  D7 "_s);
    EXPECT_EQ(ui().Et2->text(), u"8.000"_s);
}

TEST_F(CatalogueTest, ANameWithQuotesCanBeAddedChosenModifiedAndDeleted) {
    const QString name = uR"(罐"装'A)"_s;
    fill(name, u"1"_s, u"2"_s, u"0.5"_s);
    m_form->BitBtn2Click();
    EXPECT_EQ(lastBox().second, u"添加成功！"_s);
    choose(name);
    EXPECT_EQ(ui().Et3->text(), u"0.500"_s);
    ui().Et2->setText(u"3"_s);
    m_form->BitBtn4Click();
    EXPECT_EQ(lastBox(), std::pair(u"提示!"_s, u"修改成功！"_s));
    choose(name);
    EXPECT_EQ(ui().Et2->text(), u"3.000"_s);
    m_form->BitBtn3Click();
    EXPECT_EQ(lastBox(), std::pair(u"提示!"_s, u"删除成功！"_s));
    EXPECT_FALSE(storedNames().contains(name));
    EXPECT_TRUE(ui().ComboBox1->currentText().isEmpty());
    EXPECT_TRUE(ui().Et1->text().isEmpty());
    EXPECT_GE(ui().ComboBox1->findText(name), 0); // the list keeps the deleted name
}

TEST_F(CatalogueTest, TypedStatementTextDeletesAndChangesNothingElse) {
    ui().ComboBox1->setEditText(uR"(x" or "1"="1)"_s);
    m_form->BitBtn3Click();
    EXPECT_EQ(lastBox(), std::pair(u"提示!"_s, u"删除成功！"_s)); // a name without a row
    EXPECT_EQ(storedNames().size(), 5);
    fill(uR"(大米-25kg" or "1"="1)"_s, u"0"_s, u"0"_s, u"0"_s);
    m_form->BitBtn4Click();
    EXPECT_EQ(lastBox().second, u"修改成功！"_s);
    choose(u"大米-25kg"_s);
    EXPECT_EQ(ui().Et1->text(), u"25.000"_s);
}

TEST_F(CatalogueTest, DeleteWithoutANameAndFailuresOfTheStatements) {
    ui().ComboBox1->setEditText(u" "_s);
    m_form->BitBtn3Click();
    EXPECT_EQ(lastBox(), std::pair(u"提示"_s, u"请选择型号！"_s));
    // The database gone: each guarded step reports its own failure.
    m_form->ADO1.Close();
    QFile::remove(path(u"database.mdb"_s));
    ui().ComboBox1->setEditText(u"大米-5kg"_s);
    m_form->BitBtn3Click();
    EXPECT_EQ(lastBox(), std::pair(u"提示!"_s, u"对不起,没有删除成功！"_s));
    m_form->BitBtn4Click();
    EXPECT_EQ(lastBox(), std::pair(u"提示!"_s, u"对不起，没有修改成功！，请重新修改！"_s));
}

TEST_F(CatalogueTest, AFailingInsertionIsReportedAndTheListStaysAsItWas) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"trigger"_s);
        db.setDatabaseName(path(u"database.mdb"_s));
        ASSERT_TRUE(db.open());
        QSqlQuery(db).exec(u"CREATE TRIGGER refuse BEFORE INSERT ON XH BEGIN SELECT RAISE(ABORT, 'full'); END"_s);
        db.close();
    }
    QSqlDatabase::removeDatabase(u"trigger"_s);
    fill(u"E1"_s, u"1"_s, u"2"_s, u"0"_s);
    m_form->BitBtn2Click();
    EXPECT_EQ(lastBox(), std::pair(u"提示!"_s, u"对不起，没有添加成功,请重新添加！"_s));
    EXPECT_EQ(ui().ComboBox1->count(), 5);
}

TEST_F(CatalogueTest, AButtonsAltShortcutLeavesTheFocusAndTheEditAsTheyAre) {
    logIn(); // keys reach the main window only after the login
    m_form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
    fill(u"F2"_s, u"5"_s, u"6"_s, u"4"_s);
    ui().Et1->setFocus();
    QTest::keyClick(m_form.get(), Qt::Key_A, Qt::AltModifier);
    QTest::qWait(300); // a shortcut clicks the button after its press is shown
    EXPECT_EQ(lastBox().second, u"添加成功！"_s);
    EXPECT_TRUE(ui().Et1->hasFocus());
    EXPECT_EQ(ui().Et1->text(), u"5"_s);
    // A click with the mouse takes the focus and formats the edit first.
    ui().ComboBox1->setEditText(u"F3"_s);
    QTest::mouseClick(ui().BitBtn2, Qt::LeftButton);
    EXPECT_EQ(ui().Et1->text(), u"5.000"_s);
    EXPECT_EQ(lastBox().second, u"添加成功！"_s);
}

TEST_F(CatalogueTest, TheKeyFilterBeepsAndLeavingAnEditFormatsIt) {
    int beeps = 0;
    SystemBeep::setHandler([&] { ++beeps; });
    QTest::keyClicks(ui().Et1, u"1a2.5-"_s);
    QTest::keyClick(ui().LabeledEdit1, Qt::Key_End); // keys without a character pass
    QTest::keyClick(ui().LabeledEdit1, Qt::Key_Backspace);
    QTest::keyClicks(ui().LabeledEdit1, u"9"_s);
    SystemBeep::setHandler({});
    EXPECT_EQ(ui().Et1->text(), u"12.5"_s);
    EXPECT_EQ(ui().LabeledEdit1->text(), u"9"_s);
    EXPECT_EQ(beeps, 2);
    m_form->Et1Exit(ui().Et1);
    EXPECT_EQ(ui().Et1->text(), u"12.500"_s);
    ui().Et2->clear();
    m_form->Et1Exit(ui().Et2);
    EXPECT_EQ(ui().Et2->text(), u"0.000"_s);
    ui().Et3->setText(u"1.2.3"_s);
    EXPECT_THROW(m_form->Et1Exit(ui().Et3), std::exception);
    EXPECT_EQ(ui().Et3->text(), u"1.2.3"_s);
}

// A station with accounts: the catalogue needs 设置, asks before it changes, refuses limits out of order;
// no input logs out while the station stays up, and the next user gets only their rights.
class AccountsCatalogueTest : public StationWindowTest {
protected:
    void SetUp() override {
        StationWindowTest::SetUp();
        ProfileFile(path(u"Option.ini"_s).toStdString()).writeString("安全", "账户", "1");
        makeDatabase();
        TADOConnection connection(u"Data Source=\"%1\";"_s.arg(path(u"database.mdb"_s)));
        connection.Open();
        QSqlQuery sql(connection.database());
        sql.prepare(u"update users set 用户密码 = ? where 用户名称 = 'admin'"_s);
        sql.addBindValue(PasswordHash::make(u"Admin-1"_s, 1000));
        ASSERT_TRUE(sql.exec());
        sql.prepare(u"insert into users (用户名称, 用户密码, 开始) values ('bob', ?, 1)"_s);
        sql.addBindValue(PasswordHash::make(u"Bob-123"_s, 1000));
        ASSERT_TRUE(sql.exec());
        open();
    }
    void TearDown() override {
        StationWindowTest::TearDown();
        TLoginfrm::setAccounts({});
    }
};

TEST_F(AccountsCatalogueTest, LimitsNeedTheRightAndOrderAndNoInputLogsOut) {
    logIn(u"admin"_s, u"Admin-1"_s);
    ASSERT_TRUE(m_form->LoginFrm()->loggedIn());
    EXPECT_FALSE(m_form->findChild<QWidget*>(u"BtnSwitchUser"_s)->isHidden());
    EXPECT_FALSE(m_form->findChild<QWidget*>(u"BtnAudit"_s)->isHidden());
    EXPECT_FALSE(ui().Et2->isReadOnly());
    ui().ComboBox1->setEditText(u"大米-5kg"_s);
    ui().Et1->setText(u"5"_s);
    ui().Et2->setText(u"4.9"_s);
    ui().Et3->setText(u"4.925"_s);
    m_form->BitBtn4Click();
    EXPECT_TRUE(takeTexts().back().startsWith(u"限值不合理"_s));
    ui().Et2->setText(u"5.2"_s);
    m_boxes.answer(QMessageBox::Cancel);
    m_form->BitBtn4Click();
    EXPECT_EQ(takeTexts().back(), u"确定要修改型号“大米-5kg”的限值吗？"_s);
    m_boxes.answer(QMessageBox::Ok);
    m_form->BitBtn4Click();
    EXPECT_EQ(takeTexts().back(), u"修改成功！"_s);

    // No input: the operator is logged out and the login window is back; weighing is not stopped.
    TLoginfrm* before = m_form->LoginFrm();
    m_form->idleWatch()->setIntervalMs(100);
    QTest::qWait(400);
    ASSERT_NE(m_form->LoginFrm(), before);
    EXPECT_FALSE(m_form->LoginFrm()->loggedIn());
    EXPECT_TRUE(ui().BtnClear->isHidden());
    logIn(u"bob"_s, u"Bob-123"_s);
    ASSERT_TRUE(m_form->LoginFrm()->loggedIn());
    EXPECT_TRUE(ui().Et2->isReadOnly()) << "bob has no right 设置";
    EXPECT_FALSE(ui().BitBtn4->isEnabled());
    EXPECT_TRUE(m_form->findChild<QWidget*>(u"BtnAudit"_s)->isHidden());
    QSqlQuery query(m_form->ADO1.database());
    query.exec(u"select 事件, 备注 from audit where 事件 in ('退出登录', '型号修改') order by 序号"_s);
    QStringList rows;
    while (query.next())
        rows << query.value(0).toString() + u'|' + query.value(1).toString();
    EXPECT_EQ(rows, QStringList({u"型号修改|"_s, u"退出登录|空闲超时"_s}));
}

TEST_F(AccountsCatalogueTest, TheOperatorLoggedInChangesTheirOwnPasswordFromTheToolbar) {
    logIn(u"bob"_s, u"Bob-123"_s);
    ASSERT_TRUE(m_form->LoginFrm()->loggedIn());
    auto* button = m_form->findChild<QToolButton*>(u"BtnChangePassword"_s);
    ASSERT_NE(button, nullptr);
    EXPECT_FALSE(button->isHidden());
    button->click();
    auto* dialog = m_form->findChild<TChangePasswordFrm*>();
    ASSERT_NE(dialog, nullptr);
    auto* name = dialog->findChild<QLineEdit*>(u"UserName"_s);
    EXPECT_EQ(name->text(), u"bob"_s);
    EXPECT_TRUE(name->isReadOnly()) << "nobody changes another's password here";
    dialog->findChild<QLineEdit*>(u"OldPassword"_s)->setText(u"Bob-123"_s);
    dialog->findChild<QLineEdit*>(u"NewPassword"_s)->setText(u"Bob-4567"_s);
    dialog->findChild<QLineEdit*>(u"RepeatPassword"_s)->setText(u"Bob-4567"_s);
    ASSERT_TRUE(dialog->confirm()) << (takeTexts().empty() ? "" : takeTexts().back().toStdString());

    m_form->logOut(u"切换用户"_s);
    logIn(u"bob"_s, u"Bob-123"_s);
    EXPECT_FALSE(m_form->LoginFrm()->loggedIn()) << "the old password no longer opens";
    logIn(u"bob"_s, u"Bob-4567"_s);
    EXPECT_TRUE(m_form->LoginFrm()->loggedIn());
}

} // namespace
} // namespace kelvora::test
