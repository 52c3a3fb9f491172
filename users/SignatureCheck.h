#pragma once

#include "app/config/StationConfig.h"

#include <stdexcept>

#include <QDateTime>
#include <QString>

namespace kelvora {

class AuditTrail;
class TADOConnection;

/// A signature refused: what() is the text for the operator (UTF-8, Chinese).
class SignatureRefused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The password a signer re-enters, checked as the login checks it. With accounts ([安全] 账户=1) through
/// Accounts: hashed passwords, each wrong password counted with the logins' failures and the last allowed
/// one locking the user, a locked user refused whatever is typed, and the initial password refused (it is
/// no personal password yet). Without accounts the stored password is compared as typed (or its hash).
class SignatureCheck {
public:
    /// `trail` (may be nullptr) records a lock a wrong password caused, as the login does.
    SignatureCheck(TADOConnection& connection, const AccountSettings& settings, AuditTrail* trail = nullptr);

    /// Returns when `password` is `name`'s; throws SignatureRefused otherwise, DatabaseError when the
    /// database fails.
    void verify(const QString& name, const QString& password, const QDateTime& now = QDateTime::currentDateTime());

private:
    void verifyWithAccounts(const QString& name, const QString& password, const QDateTime& now);

    TADOConnection& m_connection;
    AccountSettings m_settings;
    AuditTrail* m_trail;
};

} // namespace kelvora
