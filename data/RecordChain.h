#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <QVariantList>

namespace kelvora {

/// The link of a hash chain over stored rows: each row's link is the SHA-256 of the previous row's link
/// and the row's own fields, so a row edited, deleted or inserted afterwards breaks the chain from there.
///
/// Exact encoding (what link() hashes), bytes in this order:
///   - `previousLinkHex` as ASCII (64 lowercase hex digits; empty for the first row of a chain), then "\n";
///   - for each field in the order given: its text T as UTF-8 written as `<byte length of T in decimal>:T`,
///     or a single `-` for a null value (no length, no colon).
/// The text T of a field:
///   - numbers (int, long, double, ...) as the double they hold, in the shortest form that reads back to
///     the same double (std::to_chars: 5.0 -> "5", 4.925 -> "4.925", 1e21 -> "1e+21");
///   - bool as "1" or "0";
///   - QDateTime as "yyyy-MM-dd HH:mm:ss" (its own date and time, no zone conversion);
///   - anything else as QVariant::toString() (text as it is, no trimming, case kept).
/// The result is the digest as 64 lowercase hex digits.
///
/// A time must be passed the way the reader will see it: as a QDateTime, or as the text
/// "yyyy-MM-dd HH:mm:ss"; ChainVerifier reads time columns as QDateTime.
///
/// Rows of `weight` are linked with the fields (站点, 序号, 型号, 重量, 检定结果, 操作员, 时间, 标准值,
/// 上限值, 下限值, 批号), rows of `audit` with (站点, 序号, 时间, 操作员, 事件, 对象, 旧值, 新值, 备注); each
/// station has its own chain per table, ordered by 序号.
class RecordChain {
public:
    static QString link(const QString& previousLinkHex, const QVariantList& fields);
    /// The bytes link() hashes (for tests and for anyone re-checking a link by other means).
    static QByteArray message(const QString& previousLinkHex, const QVariantList& fields);
    /// The text T of one field as described above (null values have none: empty).
    static QByteArray fieldText(const QVariant& value);
    /// Whether a field is hashed as a number (the double it holds) rather than as text.
    static bool isNumber(const QVariant& value);

    /// The part of the message after the previous link's line: the encoded fields.
    static QByteArray encodeFields(const QVariantList& fields);
    /// Appends one field's encoding to `out`: a null field, a number, or text as stored (UTF-8).
    static void appendNull(QByteArray& out);
    static void appendNumber(QByteArray& out, double value);
    static void appendText(QByteArray& out, const char* utf8, qsizetype size);
    /// The link (64 lowercase hex digits, ASCII) over a previous link and encoded fields.
    static QByteArray linkOf(const QByteArray& previousLinkHex, const QByteArray& encodedFields);
};

} // namespace kelvora
