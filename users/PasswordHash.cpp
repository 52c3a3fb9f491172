#include "users/PasswordHash.h"

#include <QCryptographicHash>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

const QString kScheme = u"pbkdf2-sha256"_s;
constexpr int kKeyBytes = 32;

QByteArray derive(const QString& password, const QByteArray& salt, int iterations) {
    return QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, password.toUtf8(), salt, iterations,
                                              kKeyBytes);
}

// Equal without returning early, so the time taken tells nothing about where two keys differ.
bool sameBytes(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

} // namespace

QString PasswordHash::make(const QString& password, int iterations) {
    QByteArray salt(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), salt.size() / 4);
    return QStringList{kScheme, QString::number(iterations), QString::fromLatin1(salt.toBase64()),
                       QString::fromLatin1(derive(password, salt, iterations).toBase64())}
        .join(u'$');
}

bool PasswordHash::isHash(const QString& stored) {
    const QStringList parts = stored.split(u'$');
    return parts.size() == 4 && parts[0] == kScheme && parts[1].toInt() > 0;
}

bool PasswordHash::matches(const QString& password, const QString& stored) {
    if (!isHash(stored))
        return password == stored;
    const QStringList parts = stored.split(u'$');
    const QByteArray salt = QByteArray::fromBase64(parts[2].toLatin1());
    const QByteArray key = QByteArray::fromBase64(parts[3].toLatin1());
    return sameBytes(derive(password, salt, parts[1].toInt()), key);
}

} // namespace kelvora
