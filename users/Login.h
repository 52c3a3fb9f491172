#pragma once

#include "data/TADOQuery.h"
#include "users/Accounts.h"

#include <memory>

#include <QDialog>
#include <QStringList>

namespace Ui {
class TLoginfrm;
}

namespace kelvora {

class LoginTarget;
class TADOConnection;

/// The login window: a frameless 794 x 455 picture with the user list, the password and 进入 / 退出.
/// A login checks name and password against `users` on the caller's connection; success writes the
/// operator and the rights to the target and closes the window. The window closes in no other way:
/// the close key, Escape and close requests are refused until a login succeeds; 退出 ends the
/// application through the target.
class TLoginfrm : public QDialog {
    Q_OBJECT
public:
    TLoginfrm(TADOConnection& connection, LoginTarget& target, QWidget* parent = nullptr);
    ~TLoginfrm() override;

    /// The rights columns of `users`, in the order a login reads them; each names its toolbar button.
    static const QStringList& rightColumns();
    /// Where the background picture is looked for.
    static QString backgroundPath();

    /// A station whose database `connection` could not be opened at its start grants nothing: from now on
    /// every login is refused with the returned text, which says what is missing (the database file or
    /// the server; `error` is the engine's message) and how a station folder is made.
    static QString refuseLogins(const TADOConnection& connection, const QString& error);
    /// Logins are checked against `users` again (a station that opened its database).
    static void allowLogins();
    /// The station's accounts ([安全]); with `enabled`, logins follow Accounts (hashed passwords compared
    /// exactly, lockout, the initial password changed first), the initial password is not shown, and
    /// 修改密码 opens TChangePasswordFrm. Without, the login compares in the table as it always did.
    static void setAccounts(const AccountSettings& settings);
    static const AccountSettings& accounts();

    /// Whether the last login attempt succeeded.
    bool loggedIn() const { return m_loggedIn; }

    /// Refused unless the login succeeded.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();
    void RzBitBtn1Click();
    void RzBitBtn2Click();
    /// The login of a station with accounts; false when refused (the reason shown).
    bool accountLogin(const QString& name, const QString& password);
    void changePassword();
    /// Writes the operator and the rights of the current row of ADOQuery1 to the target and closes.
    void applyRights(const QString& name);

    std::unique_ptr<Ui::TLoginfrm> m_ui;
    LoginTarget& m_target;
    TADOConnection& m_connection;
    TADOQuery ADOQuery1;
    bool m_loggedIn = false;
};

} // namespace kelvora
