// Personal accounts: hashed passwords, the initial password changed first, lockout, and the login
// window of a station with accounts.
#include "users/Accounts.h"

#include "UsersTestSupport.h"
#include "data/AuditTrail.h"
#include "data/DatabaseError.h"
#include "tests/support/MessageBoxRecorder.h"
#include "users/ChangePassword.h"
#include "users/IdleWatch.h"
#include "users/Login.h"
#include "users/LoginTarget.h"
#include "users/PasswordHash.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

TEST(PasswordHashTest, SaltedSlowAndExact) {
    const QString stored = PasswordHash::make(u"Geheim-7"_s, 1000);
    EXPECT_TRUE(PasswordHash::isHash(stored));
    EXPECT_TRUE(stored.startsWith(u"pbkdf2-sha256$1000$"_s));
    EXPECT_FALSE(stored.contains(u"Geheim"_s));
    EXPECT_NE(stored, PasswordHash::make(u"Geheim-7"_s, 1000)) << "a fresh salt each time";
    EXPECT_TRUE(PasswordHash::matches(u"Geheim-7"_s, stored));
    for (const QString& wrong : {u"geheim-7"_s, u"Geheim-7 "_s, u"Geheim-"_s, QString()})
        EXPECT_FALSE(PasswordHash::matches(wrong, stored)) << wrong.toStdString();
    // An older row's plain password is compared exactly, never case-blind as the table would.
    EXPECT_TRUE(PasswordHash::matches(u"Abc"_s, u"Abc"_s));
    EXPECT_FALSE(PasswordHash::matches(u"abc"_s, u"Abc"_s));
    EXPECT_FALSE(PasswordHash::isHash(u"pbkdf2-sha256$x$y"_s));
}

class AccountsTest : public test::UsersDatabaseTest {
protected:
    void SetUp() override {
        UsersDatabaseTest::SetUp();
        m_settings.enabled = true;
    }
    Accounts accounts() { return Accounts(*m_connection, m_settings); }
    QString storedPassword(const QString& name) {
        QSqlQuery query(m_connection->database());
        query.prepare(u"select 用户密码 from users where 用户名称 = ?"_s);
        query.addBindValue(name);
        query.exec();
        return query.next() ? query.value(0).toString() : QString();
    }

    AccountSettings m_settings;
    const QDateTime m_now{QDate(2024, 7, 1), QTime(8, 0)};
};

TEST_F(AccountsTest, APlainPasswordIsAcceptedOnceAndStoredHashed) {
    addUser(u"bob"_s, u"Secret1"_s, {false, true, false, false, false, false, false, false});
    EXPECT_EQ(accounts().check(u"bob"_s, u"secret1"_s, m_now).outcome, Accounts::Outcome::Refused);
    const Accounts::Check check = accounts().check(u"bob"_s, u"Secret1"_s, m_now);
    EXPECT_EQ(check.outcome, Accounts::Outcome::Accepted);
    EXPECT_GT(check.userId, 0);
    EXPECT_TRUE(PasswordHash::isHash(storedPassword(u"bob"_s)));
    EXPECT_EQ(accounts().check(u"bob"_s, u"Secret1"_s, m_now).outcome, Accounts::Outcome::Accepted);
    EXPECT_EQ(accounts().check(u"nobody"_s, u"Secret1"_s, m_now).outcome, Accounts::Outcome::Refused);
}

TEST_F(AccountsTest, TheInitialPasswordMustBeChangedAndTheNewOneFollowsTheRules) {
    EXPECT_EQ(accounts().check(u"admin"_s, u"123456"_s, m_now).outcome, Accounts::Outcome::MustChangePassword);
    const auto refusal = [&](const QString& old, const QString& fresh) {
        try {
            accounts().changePassword(u"admin"_s, old, fresh);
        } catch (const DatabaseError& e) {
            return e.message();
        }
        return QString();
    };
    EXPECT_EQ(refusal(u"wrong"_s, u"abcdef"_s), u"原密码不正确"_s);
    EXPECT_EQ(refusal(u"123456"_s, u"abcde"_s), u"新密码至少需要6个字符"_s);
    EXPECT_EQ(refusal(u"123456"_s, u"123456"_s), u"新密码不能是初始密码"_s);
    EXPECT_EQ(refusal(u"123456"_s, u"abcdef"_s), QString());
    EXPECT_EQ(accounts().check(u"admin"_s, u"123456"_s, m_now).outcome, Accounts::Outcome::Refused);
    EXPECT_EQ(accounts().check(u"admin"_s, u"abcdef"_s, m_now).outcome, Accounts::Outcome::Accepted);
}

TEST_F(AccountsTest, FailedLoginsLockTheUserForAWhile) {
    m_settings.maxFailures = 3;
    m_settings.lockMinutes = 5;
    accounts().changePassword(u"admin"_s, u"123456"_s, u"abcdef"_s);
    EXPECT_EQ(accounts().check(u"admin"_s, u"x"_s, m_now).outcome, Accounts::Outcome::Refused);
    EXPECT_EQ(accounts().check(u"admin"_s, u"abcdef"_s, m_now).outcome, Accounts::Outcome::Accepted)
        << "a success starts the count again";
    accounts().check(u"admin"_s, u"x"_s, m_now);
    accounts().check(u"admin"_s, u"x"_s, m_now);
    const Accounts::Check third = accounts().check(u"admin"_s, u"x"_s, m_now);
    EXPECT_EQ(third.outcome, Accounts::Outcome::Refused);
    EXPECT_EQ(third.lockedUntil, m_now.addSecs(300));
    // Locked: even the right password is refused, until the time is up.
    EXPECT_EQ(accounts().check(u"admin"_s, u"abcdef"_s, m_now.addSecs(299)).outcome, Accounts::Outcome::Locked);
    EXPECT_EQ(accounts().check(u"admin"_s, u"abcdef"_s, m_now.addSecs(300)).outcome, Accounts::Outcome::Accepted);
    // Another user is not held up.
    addUser(u"bob"_s, u"Secret1"_s, {false, true, false, false, false, false, false, false});
    EXPECT_EQ(accounts().check(u"bob"_s, u"Secret1"_s, m_now.addSecs(1)).outcome, Accounts::Outcome::Accepted);
}

class NoTarget : public LoginTarget {
public:
    void setOperatorName(const QString& name) override { operatorName = name; }
    void setRightVisible(const QString&, bool) override {}
    QString operatorName;
};

class AccountLoginTest : public test::UsersDatabaseTest {
protected:
    void SetUp() override {
        UsersDatabaseTest::SetUp();
        AccountSettings settings;
        settings.enabled = true;
        TLoginfrm::setAccounts(settings);
    }
    void TearDown() override { TLoginfrm::setAccounts({}); }

    void open() {
        m_login = std::make_unique<TLoginfrm>(*m_connection, m_target);
        m_login->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_login.get()));
    }
    void attempt(const QString& name, const QString& password) {
        m_login->findChild<QComboBox*>(u"ComboBox1"_s)->setEditText(name);
        m_login->findChild<QLineEdit*>(u"Edit1"_s)->setText(password);
        m_login->findChild<QPushButton*>(u"RzBitBtn1"_s)->click();
    }

    NoTarget m_target;
    std::unique_ptr<TLoginfrm> m_login;
    test::MessageBoxRecorder m_boxes;
};

TEST_F(AccountLoginTest, TheFirstLoginChangesTheInitialPasswordWhichIsNoLongerShown) {
    open();
    EXPECT_FALSE(m_login->findChild<QLabel*>(u"Label8"_s)->text().contains(u"123456"_s));
    ASSERT_NE(m_login->findChild<QPushButton*>(u"BtnChangePassword"_s), nullptr);
    // The change dialog opens modally: fill it in once it is up.
    QTimer::singleShot(0, [] {
        auto* dialog = qobject_cast<TChangePasswordFrm*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>(u"NewPassword"_s)->setText(u"Neu-2024"_s);
        dialog->findChild<QLineEdit*>(u"RepeatPassword"_s)->setText(u"Neu-2024"_s);
        dialog->confirm();
    });
    attempt(u"admin"_s, u"123456"_s);
    ASSERT_TRUE(m_login->loggedIn());
    EXPECT_EQ(m_target.operatorName, u"admin"_s);
    EXPECT_TRUE(PasswordHash::matches(u"Neu-2024"_s, users().first().section(u'|', 1, 1)));
}

TEST_F(AccountLoginTest, AFirstLoginThatKeepsTheInitialPasswordIsRefused) {
    open();
    QTimer::singleShot(0, [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    attempt(u"admin"_s, u"123456"_s);
    EXPECT_FALSE(m_login->loggedIn());
    EXPECT_EQ(m_boxes.boxes.back().text, u"必须修改初始密码后才能登录。"_s);
}

TEST_F(AccountLoginTest, FiveWrongPasswordsLockTheUserAndTheTrailSaysSo) {
    AuditTrail::configure(m_database->connectionString(), u"线1"_s);
    open();
    for (int i = 0; i < 5; ++i)
        attempt(u"admin"_s, u"wrong"_s);
    EXPECT_TRUE(m_boxes.boxes.back().text.contains(u"已被锁定"_s)) << m_boxes.boxes.back().text.toStdString();
    attempt(u"admin"_s, u"123456"_s);
    EXPECT_FALSE(m_login->loggedIn());
    QSqlQuery query(m_connection->database());
    query.exec(u"select 事件, count(*) from audit group by 事件 order by 事件"_s);
    QStringList counts;
    while (query.next())
        counts << query.value(0).toString() + u'=' + query.value(1).toString();
    EXPECT_EQ(counts, QStringList({u"用户锁定=1"_s, u"登录失败=6"_s}));
    AuditTrail::unconfigure();
}

TEST(IdleWatchTest, SignalsOnceAfterTheIntervalWithoutInputAndInputPutsItOff) {
    IdleWatch watch(1);
    QSignalSpy idle(&watch, &IdleWatch::idle);
    watch.setIntervalMs(150);
    QWidget widget;
    widget.show();
    for (int i = 0; i < 4; ++i) {
        QTest::qWait(60);
        QTest::mouseMove(&widget, QPoint(10 + i, 10));
        QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&widget, &move);
    }
    EXPECT_EQ(idle.count(), 0) << "input came every 60 ms";
    EXPECT_TRUE(idle.wait(1000));
    QTest::qWait(300);
    EXPECT_EQ(idle.count(), 1) << "once, until the next input";
    IdleWatch off(0);
    QSignalSpy never(&off, &IdleWatch::idle);
    QTest::qWait(50);
    EXPECT_EQ(never.count(), 0);
}

} // namespace
} // namespace kelvora
