#include "users/Accounts.h"

#include "data/BoundQuery.h"
#include "data/DatabaseError.h"
#include "data/Schema.h"
#include "data/TADOConnection.h"
#include "users/PasswordHash.h"

#include <QSqlError>
#include <QSqlQuery>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

const QString kTimeFormat = u"yyyy-MM-dd HH:mm:ss"_s;

} // namespace

Accounts::Accounts(TADOConnection& connection, AccountSettings settings)
    : m_connection(connection), m_settings(settings) {}

void Accounts::ensureTable() {
    m_connection.Open();
    if (m_connection.database().tables().contains(u"accounts"_s, Qt::CaseInsensitive))
        return;
    const bool pg = m_connection.dialect() == schema::Dialect::Postgres;
    boundQuery(m_connection, u"CREATE TABLE IF NOT EXISTS \"accounts\" (\"用户名称\" %1 PRIMARY KEY, \"失败次数\" "
                             u"integer NOT NULL DEFAULT 0, "
                             u"\"锁定至\" text)"_s.arg(pg ? u"citext"_s : u"TEXT COLLATE NOCASE"_s));
}

int Accounts::failures(const QString& name, QDateTime& lockedUntil) {
    QSqlQuery query =
        boundQuery(m_connection, u"select \"失败次数\", \"锁定至\" from \"accounts\" where \"用户名称\" = ?"_s, {name});
    if (!query.next())
        return 0;
    lockedUntil = QDateTime::fromString(query.value(1).toString(), kTimeFormat);
    return query.value(0).toInt();
}

void Accounts::setFailures(const QString& name, int count, const QDateTime& lockedUntil) {
    const QVariant until = lockedUntil.isValid() ? QVariant(lockedUntil.toString(kTimeFormat)) : QVariant();
    boundQuery(m_connection, u"delete from \"accounts\" where \"用户名称\" = ?"_s, {name});
    boundQuery(m_connection, u"insert into \"accounts\" (\"用户名称\", \"失败次数\", \"锁定至\") values (?, ?, ?)"_s,
               {name, count, until});
}

void Accounts::storeHash(qlonglong id, const QString& password) {
    boundQuery(m_connection, u"update \"users\" set \"用户密码\" = ? where \"id\" = ?"_s,
               {PasswordHash::make(password), id});
}

Accounts::Check Accounts::check(const QString& name, const QString& password, const QDateTime& now) {
    ensureTable();
    QDateTime lockedUntil;
    const int failed = failures(name, lockedUntil);
    if (lockedUntil.isValid() && now < lockedUntil)
        return {Outcome::Locked, lockedUntil, 0};
    QSqlQuery rows = boundQuery(
        m_connection, u"select \"id\", \"用户密码\" from \"users\" where \"用户名称\" = ? order by \"id\""_s, {name});
    while (rows.next()) {
        const QString stored = rows.value(1).toString();
        if (!PasswordHash::matches(password, stored))
            continue;
        const qlonglong id = rows.value(0).toLongLong();
        if (failed > 0 || lockedUntil.isValid())
            setFailures(name, 0, {});
        if (!PasswordHash::isHash(stored))
            storeHash(id, password); // an older row's plain password is accepted once and kept hashed
        const bool initial = password == schema::kInitialPassword;
        return {initial ? Outcome::MustChangePassword : Outcome::Accepted, {}, id};
    }
    // Counting starts again after a lock has run out.
    const int count = (lockedUntil.isValid() ? 0 : failed) + 1;
    const bool locks = m_settings.maxFailures > 0 && count >= m_settings.maxFailures;
    const QDateTime until = locks ? now.addSecs(60LL * m_settings.lockMinutes) : QDateTime();
    setFailures(name, locks ? 0 : count, until);
    return {Outcome::Refused, until, 0};
}

void Accounts::changePassword(const QString& name, const QString& oldPassword, const QString& newPassword) {
    ensureTable();
    QSqlQuery rows = boundQuery(
        m_connection, u"select \"id\", \"用户密码\" from \"users\" where \"用户名称\" = ? order by \"id\""_s, {name});
    qlonglong id = 0;
    while (id == 0 && rows.next())
        if (PasswordHash::matches(oldPassword, rows.value(1).toString()))
            id = rows.value(0).toLongLong();
    if (id == 0)
        throw DatabaseError(u"原密码不正确"_s);
    if (newPassword.size() < PasswordHash::kMinimumLength)
        throw DatabaseError(u"新密码至少需要%1个字符"_s.arg(PasswordHash::kMinimumLength));
    if (newPassword == schema::kInitialPassword)
        throw DatabaseError(u"新密码不能是初始密码"_s);
    storeHash(id, newPassword);
}

} // namespace kelvora
