#pragma once

#include <QString>

namespace kelvora {

/// Passwords as `users`.`用户密码` keeps them for stations with accounts ([安全] 账户=1): salted and
/// slow-hashed with PBKDF2-HMAC-SHA256 (Qt's QPasswordDigestor), stored as
///   pbkdf2-sha256$<iterations>$<salt, base64>$<derived key, base64>
/// with a 16-byte random salt and a 32-byte key. Any other stored text is a password of an older row,
/// kept as typed.
class PasswordHash {
public:
    static constexpr int kIterations = 120000;
    static constexpr int kMinimumLength = 6;

    /// A new stored form of `password` (a fresh salt each time).
    static QString make(const QString& password, int iterations = kIterations);
    /// Whether `stored` is a hash made by make().
    static bool isHash(const QString& stored);
    /// Whether `password` is the one stored: a hash is derived again and compared in constant time; a
    /// plain older password is compared exactly (case and blanks count).
    static bool matches(const QString& password, const QString& stored);
};

} // namespace kelvora
