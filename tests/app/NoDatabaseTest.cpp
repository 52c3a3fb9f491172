// A station whose database cannot be opened grants nothing: no button governed by rights, no login.
#include "tests/app/StationWindowFixture.h"

#include <QSqlQuery>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

class NoDatabaseTest : public StationWindowTest {
protected:
    QList<QToolButton*> governed() {
        return {ui().BtnAttachFiles, ui().BtnClear,     ui().BtnWordWrap, ui().BtnSetTabs, ui().BtnSecurity,
                ui().BtnStatistics,  ui().BtnUtilities, ui().BtnOK,       ui().BtnBullets};
    }
    QStringList shownGoverned() {
        QStringList shown;
        for (QToolButton* button : governed())
            if (button->isVisibleTo(m_form.get()))
                shown << button->objectName();
        return shown;
    }
    static void writeIni(const QByteArray& text) {
        QFile ini(path(u"Option.ini"_s));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write(text);
    }
    static QStringList folder() {
        return QDir::current().entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }
    /// The first box: the standard error box saying what is missing and how a station folder is made.
    QString firstBoxText() {
        EXPECT_FALSE(m_boxes.boxes.empty());
        if (m_boxes.boxes.empty())
            return {};
        const MessageBox::Request& box = m_boxes.boxes.front();
        EXPECT_TRUE(box.errorBox);
        EXPECT_TRUE(box.text.contains(u"kelvora-tool station init 目录"_s)) << box.text.toStdString();
        return box.text;
    }
};

TEST_F(NoDatabaseTest, AMissingFileHidesTheGovernedButtonsAndWritesNothingUpToTheClose) {
    writeIni("[Word]\nNum=100\n");
    TForm1& form = open();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(shownGoverned(), QStringList());
    EXPECT_TRUE(ui().BtnSendtoBack->isVisibleTo(&form));
    EXPECT_TRUE(ui().BtnExit->isVisibleTo(&form));
    EXPECT_TRUE(firstBoxText().startsWith(u"无法打开数据库文件“"_s + path(u"database.mdb"_s) + u"”"_s));
    EXPECT_EQ(form.LoginFrm(), nullptr);

    form.close();
    EXPECT_EQ(folder(), QStringList{u"Option.ini"_s}); // no database, no unsaved-records.csv
}

TEST_F(NoDatabaseTest, AFileThatIsNoDatabaseIsRefusedAlike) {
    QFile garbage(path(u"database.mdb"_s));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly) && garbage.write(QByteArray(8192, 'x')) > 0);
    garbage.close();
    open();
    EXPECT_EQ(shownGoverned(), QStringList());
    EXPECT_TRUE(firstBoxText().startsWith(u"无法打开数据库文件"_s));
}

// The models and the users are there, the records' table is not: the login window opens, yet no login
// succeeds, and the buttons stay hidden.
TEST_F(NoDatabaseTest, ADatabaseWithoutTheStationsTablesRefusesEveryLogin) {
    makeDatabase();
    {
        TADOConnection connection(path(u"database.mdb"_s));
        connection.Open();
        ASSERT_TRUE(QSqlQuery(connection.database()).exec(u"drop table \"weight\""_s));
    }
    open();
    EXPECT_TRUE(firstBoxText().contains(u"weight"_s));
    m_boxes.boxes.clear();
    TLoginfrm* login = m_form->LoginFrm();
    ASSERT_NE(login, nullptr);
    logIn();
    EXPECT_FALSE(login->loggedIn());
    EXPECT_TRUE(login->isVisible());
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"警告"_s);
    EXPECT_TRUE(m_boxes.boxes[0].text.contains(u"本工作站不能登录"_s)) << m_boxes.boxes[0].text.toStdString();
    EXPECT_EQ(shownGoverned(), QStringList());
    EXPECT_TRUE(ui().RzFieldStatus3->text().isEmpty());
}

TEST_F(NoDatabaseTest, AnUnreachableServerIsNamed) {
    writeIni(u"[数据库]\n连接=Provider=PostgreSQL;Host=%1;Port=5499;Database=station;User ID=postgres;Password=;\n"_s
                 .arg(path(u"no-server"_s))
                 .toUtf8());
    open();
    EXPECT_EQ(shownGoverned(), QStringList());
    const QString text = firstBoxText();
    EXPECT_TRUE(
        text.startsWith(u"无法连接数据库服务器 "_s + path(u"no-server"_s) + u"（端口 5499）上的数据库“station”"_s))
        << text.toStdString();
}

TEST_F(NoDatabaseTest, AStationThatOpensItsDatabaseAfterwardsLogsInAgain) {
    open();
    EXPECT_EQ(shownGoverned(), QStringList());
    m_form.reset();
    makeDatabase();
    m_boxes.boxes.clear();
    open();
    EXPECT_TRUE(takeTexts().empty());
    logIn();
    ASSERT_NE(m_form->LoginFrm(), nullptr);
    EXPECT_TRUE(m_form->LoginFrm()->loggedIn());
    EXPECT_EQ(shownGoverned().size(), governed().size());
}

} // namespace
} // namespace kelvora::test
