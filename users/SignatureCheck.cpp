#include "users/SignatureCheck.h"

#include "data/AuditTrail.h"
#include "data/DatabaseError.h"
#include "data/TADOConnection.h"
#include "users/Accounts.h"
#include "users/PasswordHash.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

[[noreturn]] void refuse(const QString& text) {
    throw SignatureRefused(text.toStdString());
}

} // namespace

SignatureCheck::SignatureCheck(TADOConnection& connection, const AccountSettings& settings, AuditTrail* trail)
    : m_connection(connection), m_settings(settings), m_trail(trail) {}

void SignatureCheck::verify(const QString& name, const QString& password, const QDateTime& now) {
    if (name.trimmed().isEmpty())
        refuse(u"请选择签名人"_s);
    if (m_settings.enabled) {
        verifyWithAccounts(name, password, now);
        return;
    }
    m_connection.Open();
    QSqlQuery rows(m_connection.database());
    rows.prepare(u"select \"用户密码\" from \"users\" where \"用户名称\" = ?"_s);
    rows.addBindValue(name);
    if (!rows.exec())
        throw DatabaseError(rows.lastError().text());
    while (rows.next())
        if (PasswordHash::matches(password, rows.value(0).toString()))
            return;
    refuse(u"签名人“%1”的密码不正确，报表未签名"_s.arg(name));
}

void SignatureCheck::verifyWithAccounts(const QString& name, const QString& password, const QDateTime& now) {
    const Accounts::Check check = Accounts(m_connection, m_settings).check(name, password, now);
    const QString until = check.lockedUntil.toString(u"HH:mm:ss"_s);
    switch (check.outcome) {
    case Accounts::Outcome::Accepted:
        return;
    case Accounts::Outcome::MustChangePassword:
        refuse(u"用户“%1”还在使用初始密码，请先登录并修改密码后再签名"_s.arg(name));
    case Accounts::Outcome::Locked:
        refuse(u"用户“%1”因多次输入错误密码已被锁定，请于 %2 后再签名"_s.arg(name, until));
    case Accounts::Outcome::Refused:
        break;
    }
    if (!check.lockedUntil.isValid())
        refuse(u"签名人“%1”的密码不正确，报表未签名"_s.arg(name));
    if (m_trail)
        m_trail->record(audit_event::kUserLocked, name, {}, {}, u"签名时密码错误，锁定至 %1"_s.arg(until));
    refuse(u"密码错误次数过多，用户“%1”已被锁定至 %2，报表未签名"_s.arg(name, until));
}

} // namespace kelvora
