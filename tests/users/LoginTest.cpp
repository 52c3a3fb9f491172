#include "users/Login.h"

#include "UsersTestSupport.h"
#include "tests/support/MessageBoxRecorder.h"
#include "users/JpegPicture.h"
#include "users/LoginTarget.h"

#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

// The main window's side of a login: what was written, in order.
class RecordingTarget : public LoginTarget {
public:
    void setOperatorName(const QString& name) override { operatorName = name; }
    void setRightVisible(const QString& right, bool visible) override {
        rights << right + (visible ? u"=1"_s : u"=0"_s);
    }
    void exitApplication() override { ++exits; }

    std::optional<QString> operatorName;
    QStringList rights;
    int exits = 0;
};

const QVariantList kAll{true, true, true, true, true, true, true, true};

class LoginTest : public test::UsersDatabaseTest {
protected:
    void open() {
        m_login = std::make_unique<TLoginfrm>(*m_connection, m_target);
        m_login->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_login.get()));
    }

    QComboBox* names() const { return m_login->findChild<QComboBox*>(u"ComboBox1"_s); }
    QLineEdit* password() const { return m_login->findChild<QLineEdit*>(u"Edit1"_s); }
    QPushButton* button(const char* name) const { return m_login->findChild<QPushButton*>(QString::fromLatin1(name)); }

    void attempt(const QString& name, const QString& secret) {
        names()->setEditText(name);
        password()->setText(secret);
        button("RzBitBtn1")->click();
    }

    RecordingTarget m_target;
    std::unique_ptr<TLoginfrm> m_login;
    test::MessageBoxRecorder m_boxes;
};

TEST_F(LoginTest, TheWindowAsLaidOut) {
    open();
    EXPECT_EQ(m_login->size(), QSize(794, 455));
    EXPECT_TRUE(m_login->windowFlags() & Qt::FramelessWindowHint);
    const QLabel* image = m_login->findChild<QLabel*>(u"Image1"_s);
    EXPECT_EQ(image->pixmap().size(), QSize(801, 455));
    EXPECT_TRUE(button("RzBitBtn1")->isDefault());
    EXPECT_EQ(button("RzBitBtn1")->text(), u"进入"_s);
    EXPECT_EQ(button("RzBitBtn2")->text(), u"退出"_s);
    password()->setText(u"abc"_s);
    EXPECT_EQ(password()->displayText(), u"###"_s);
    EXPECT_FALSE(password()->testAttribute(Qt::WA_InputMethodEnabled));
    EXPECT_EQ(password()->contextMenuPolicy(), Qt::PreventContextMenu);
    EXPECT_EQ(names()->lineEdit()->contextMenuPolicy(), Qt::PreventContextMenu);
    // The initial password announced is the one a new user gets.
    EXPECT_TRUE(m_login->findChild<QLabel*>(u"Label8"_s)->text().contains(u"123456"_s));
    EXPECT_TRUE(password()->toolTip().contains(u"123456"_s));
}

TEST_F(LoginTest, TheListHoldsTheNamesInTableOrderAndPicksNone) {
    addUser(u"张三"_s, u"1"_s, kAll);
    addUser(u"Bob"_s, u"2"_s, kAll);
    open();
    ASSERT_EQ(names()->count(), 3);
    EXPECT_EQ(names()->itemText(0), u"admin"_s);
    EXPECT_EQ(names()->itemText(1), u"张三"_s);
    EXPECT_EQ(names()->itemText(2), u"Bob"_s);
    EXPECT_EQ(names()->currentText(), QString());
    EXPECT_EQ(m_login->focusWidget(), names());
}

TEST_F(LoginTest, SuccessWritesTheNameAsTypedAndEveryRightInOrder) {
    allowNullRights();
    addUser(u"op"_s, u"pw"_s, {false, true, true, QVariant(), true, false, false, true});
    open();
    attempt(u"OP"_s, u"PW"_s); // the comparison ignores letter case
    EXPECT_TRUE(m_boxes.boxes.empty());
    EXPECT_EQ(m_target.operatorName, u"OP"_s);
    EXPECT_EQ(m_target.rights, QStringList({u"用户=0"_s, u"开始=1"_s, u"继续=1"_s, u"结束=0"_s, u"查询=1"_s,
                                            u"设置=0"_s, u"初始化=0"_s, u"清零=1"_s}));
    EXPECT_TRUE(m_login->loggedIn());
    EXPECT_FALSE(m_login->isVisible());
}

TEST_F(LoginTest, AWrongPasswordWarnsEmptiesThePasswordAndKeepsTheName) {
    open();
    attempt(u"admin"_s, u"654321"_s);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"警告"_s);
    EXPECT_EQ(m_boxes.boxes[0].text, u"您输入的用户名或密码不正确,请重新输入!"_s);
    EXPECT_EQ(m_boxes.boxes[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(password()->text(), QString());
    EXPECT_EQ(m_login->focusWidget(), password());
    EXPECT_EQ(names()->currentText(), u"admin"_s);
    EXPECT_FALSE(m_target.operatorName);
    EXPECT_TRUE(m_login->isVisible());
    attempt(u"admin"_s, u"123456"_s); // no limit on attempts
    EXPECT_TRUE(m_login->loggedIn());
}

TEST_F(LoginTest, QuotesAreMatchedLiterallyAndCannotRewriteTheCondition) {
    addUser(u"o'brien"_s, u"it's"_s, kAll);
    open();
    attempt(u"x' or '1'='1"_s, u"x' or '1'='1"_s);
    attempt(u"admin') or ('1'='1"_s, u"') or ('1'='1"_s);
    EXPECT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_FALSE(m_target.operatorName);
    attempt(u"o'brien"_s, u"it's"_s);
    EXPECT_EQ(m_target.operatorName, u"o'brien"_s);
}

TEST_F(LoginTest, AnEmptyNameNeverLogsIn) {
    open();
    attempt({}, {});
    EXPECT_EQ(m_boxes.boxes.size(), 1u);
    // The table refuses a user without a name, however it is written.
    QSqlQuery query(m_connection->database());
    EXPECT_FALSE(query.exec(u"insert into users (用户名称, 用户密码) values ('  ', '')"_s));
    EXPECT_TRUE(query.lastError().text().contains(u"用户名称不能为空"_s)) << query.lastError().text().toStdString();
    EXPECT_FALSE(query.exec(u"update users set 用户名称 = null"_s));
    attempt({}, {});
    EXPECT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_FALSE(m_login->loggedIn());
}

TEST_F(LoginTest, OfSeveralMatchingRowsTheFirstDecides) {
    addUser(u"twin"_s, u"pw"_s, {true, false, false, false, false, false, false, false});
    addUser(u"twin"_s, u"pw"_s, kAll);
    open();
    attempt(u"twin"_s, u"pw"_s);
    EXPECT_EQ(m_target.rights.first(), u"用户=1"_s);
    EXPECT_EQ(m_target.rights.last(), u"清零=0"_s);
}

TEST_F(LoginTest, AMissingRightsColumnStopsThereAndKeepsTheWindowOpen) {
    exec(u"alter table users drop column 查询"_s);
    open();
    attempt(u"admin"_s, u"123456"_s);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"Weight"_s);
    EXPECT_EQ(m_boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(m_boxes.boxes[0].text, u"Field '查询' not found."_s);
    EXPECT_EQ(m_target.operatorName, u"admin"_s);
    EXPECT_EQ(m_target.rights, QStringList({u"用户=1"_s, u"开始=1"_s, u"继续=1"_s, u"结束=1"_s}));
    EXPECT_FALSE(m_login->loggedIn());
    EXPECT_TRUE(m_login->isVisible());
}

TEST_F(LoginTest, ATableThatCannotBeReadShowsTheErrorAndTheWindowWorks) {
    exec(u"alter table users rename to people"_s);
    open();
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].title, u"Weight"_s);
    EXPECT_EQ(names()->count(), 0);
    attempt(u"admin"_s, u"123456"_s);
    EXPECT_EQ(m_boxes.boxes.size(), 2u);
    EXPECT_TRUE(m_login->isVisible());
}

TEST_F(LoginTest, OnlyALoginOrExitEndsTheWindow) {
    open();
    EXPECT_FALSE(m_login->close());
    QTest::keyClick(m_login.get(), Qt::Key_Escape);
    m_login->reject();
    EXPECT_TRUE(m_login->isVisible());
    EXPECT_FALSE(m_target.operatorName);
    EXPECT_TRUE(m_target.rights.isEmpty());

    button("RzBitBtn2")->click();
    EXPECT_EQ(m_target.exits, 1);
    EXPECT_TRUE(m_boxes.boxes.empty()); // no confirmation
}

TEST_F(LoginTest, TheModalLoopEndsWithTheLogin) {
    m_login = std::make_unique<TLoginfrm>(*m_connection, m_target);
    QTimer::singleShot(0, m_login.get(), [this] {
        m_login->close(); // refused
        attempt(u"admin"_s, u"123456"_s);
    });
    EXPECT_EQ(m_login->exec(), QDialog::Accepted);
    EXPECT_EQ(m_target.rights.size(), 8);
}

TEST(JpegPicture, DecodesOurPictureAndRefusesWhatIsNoJpeg) {
    QFile file(TLoginfrm::backgroundPath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    const QImage picture = JpegPicture::decode(bytes);
    EXPECT_EQ(picture.size(), QSize(801, 455));
    EXPECT_TRUE(JpegPicture::decode("not a picture").isNull());
    EXPECT_TRUE(JpegPicture::decode(bytes.left(40)).isNull()); // a cut header
    EXPECT_TRUE(JpegPicture::decode({}).isNull());
    EXPECT_TRUE(JpegPicture::load(u"/nonexistent/picture.jpg"_s).isNull());
    // Cut scan data still gives the whole picture, padded.
    EXPECT_EQ(JpegPicture::decode(bytes.left(bytes.size() / 2)).size(), QSize(801, 455));
}

} // namespace
} // namespace kelvora
