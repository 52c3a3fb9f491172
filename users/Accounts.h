#pragma once

#include "app/config/StationConfig.h"

#include <QDateTime>
#include <QString>

namespace kelvora {

class TADOConnection;

/// Personal accounts on `users`: passwords hashed (PasswordHash), failed logins counted and locking the
/// user for a while, the initial password changed at the first login. The counts live in the table
/// `accounts` (用户名称, 失败次数, 锁定至), made on first use.
class Accounts {
public:
    enum class Outcome {
        Accepted,
        MustChangePassword, ///< right password, but the initial one: accepted only after a change
        Refused,            ///< unknown name or wrong password
        Locked,             ///< too many failures: refused until lockedUntil whatever is typed
    };
    struct Check {
        Outcome outcome = Outcome::Refused;
        QDateTime lockedUntil; ///< for Locked, and for Refused when this failure locked the user
        qlonglong userId = 0;  ///< the matching row, for Accepted and MustChangePassword
    };

    Accounts(TADOConnection& connection, AccountSettings settings);

    /// A login attempt at `now`. A right password resets the count and, for a row that still holds it
    /// as plain text, stores it hashed; a wrong one counts, and the last allowed one locks the user.
    /// Throws DatabaseError.
    Check check(const QString& name, const QString& password, const QDateTime& now);

    /// Replaces the user's password by `newPassword` hashed, after checking `oldPassword`. Throws
    /// DatabaseError with the text for the operator: 原密码不正确, 新密码至少需要6个字符, 新密码不能是初始密码.
    void changePassword(const QString& name, const QString& oldPassword, const QString& newPassword);

private:
    void ensureTable();
    int failures(const QString& name, QDateTime& lockedUntil);
    void setFailures(const QString& name, int count, const QDateTime& lockedUntil);
    void storeHash(qlonglong id, const QString& password);

    TADOConnection& m_connection;
    AccountSettings m_settings;
};

} // namespace kelvora
