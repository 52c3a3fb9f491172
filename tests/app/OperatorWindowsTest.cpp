// The main window with the login and the windows of its toolbar.
#include "StationWindowFixture.h"
#include "data/window/Unit3.h"
#include "users/Login.h"
#include "users/SetPara.h"
#include "users/Unit2.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

class OperatorWindowsTest : public test::StationWindowTest {
protected:
    void logIn(const QString& name, const QString& password) {
        TLoginfrm* login = m_form->LoginFrm();
        ASSERT_NE(login, nullptr);
        login->findChild<QComboBox*>(u"ComboBox1"_s)->setEditText(name);
        login->findChild<QLineEdit*>(u"Edit1"_s)->setText(password);
        login->findChild<QPushButton*>(u"RzBitBtn1"_s)->click();
    }
    QList<QToolButton*> governed() {
        return {ui().BtnAttachFiles, ui().BtnClear,     ui().BtnWordWrap, ui().BtnSetTabs,
                ui().BtnSecurity,    ui().BtnUtilities, ui().BtnOK,       ui().BtnBullets};
    }
};

TEST_F(OperatorWindowsTest, TheMainWindowShowsTheLoginModallyAndALoginSetsTheToolbar) {
    makeDatabase();
    {
        TADOConnection connection(path(u"database.mdb"_s));
        connection.Open();
        QSqlQuery(connection.database())
            .exec(u"insert into users (用户名称, 用户密码, 开始, 查询) values ('op', 'pw', 1, 1)"_s);
    }
    open();
    TLoginfrm* login = m_form->LoginFrm();
    ASSERT_NE(login, nullptr);
    EXPECT_TRUE(login->isVisible());
    EXPECT_EQ(QApplication::activeModalWidget(), login);
    EXPECT_FALSE(login->close()); // the close key does nothing
    for (QToolButton* button : governed())
        EXPECT_TRUE(button->isVisibleTo(m_form.get()));
    logIn(u"OP"_s, u"pw"_s);
    EXPECT_FALSE(login->isVisible());
    EXPECT_EQ(ui().RzFieldStatus3->text(), u"OP"_s);
    QStringList shown;
    for (QToolButton* button : governed())
        if (button->isVisibleTo(m_form.get()))
            shown << button->objectName();
    EXPECT_EQ(shown, QStringList({u"BtnClear"_s, u"BtnSecurity"_s}));
    EXPECT_TRUE(ui().BtnExit->isVisibleTo(m_form.get()));
    EXPECT_TRUE(takeTexts().empty());
}

TEST_F(OperatorWindowsTest, EachToolbarWindowIsNewAndReplacesAndReleasesTheLastOne) {
    makeDatabase();
    open();
    logIn(u"admin"_s, u"123456"_s);
    m_form->createForm2();

    ui().BtnSecurity->click();
    QPointer<TForm3> firstQuery = m_form->Form3();
    ASSERT_TRUE(firstQuery);
    EXPECT_EQ(QApplication::activeModalWidget(), firstQuery.data());
    firstQuery->close();
    ui().BtnSecurity->click();
    EXPECT_TRUE(firstQuery.isNull());
    EXPECT_TRUE(m_form->Form3()->isVisible());
    m_form->Form3()->close();

    QPointer<TForm2> startEditor = m_form->Form2();
    ui().BtnAttachFiles->click();
    EXPECT_TRUE(startEditor.isNull());
    EXPECT_EQ(m_form->Form2()->ADOQuery1.RecordCount(), 1);
    m_form->Form2()->close();

    ui().BtnUtilities->click();
    QPointer<TSetParaFrm> settings = m_form->SetParaFrm();
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->isVisible());
    settings->close();
    ui().BtnUtilities->click();
    EXPECT_TRUE(settings.isNull());
    EXPECT_TRUE(takeTexts().empty());
}

} // namespace
} // namespace kelvora
