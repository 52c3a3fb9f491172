#include "data/RecordChain.h"

#include <charconv>
#include <cstring>

#include <QCryptographicHash>
#include <QDateTime>

namespace kelvora {

bool RecordChain::isNumber(const QVariant& value) {
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Float:
    case QMetaType::Double:
        return true;
    default:
        return false;
    }
}

QByteArray RecordChain::fieldText(const QVariant& value) {
    if (value.isNull())
        return {};
    if (isNumber(value)) {
        // One form for a number however the engine hands it back (an integer, a REAL, a float8).
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.toDouble());
        return QByteArray(buffer, static_cast<qsizetype>(result.ptr - buffer));
    }
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    default:
        return value.toString().toUtf8();
    }
}

void RecordChain::appendNull(QByteArray& out) {
    out += '-';
}

void RecordChain::appendText(QByteArray& out, const char* utf8, qsizetype size) {
    char digits[24];
    const qsizetype length = std::to_chars(digits, digits + sizeof digits, size).ptr - digits;
    // One resize and plain copies: QByteArray's append goes through its general insert, which db verify
    // feels over ten million rows.
    const qsizetype at = out.size();
    out.resize(at + length + 1 + size);
    char* to = out.data() + at;
    std::memcpy(to, digits, static_cast<size_t>(length));
    to[length] = ':';
    if (size > 0)
        std::memcpy(to + length + 1, utf8, static_cast<size_t>(size));
}

void RecordChain::appendNumber(QByteArray& out, double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    appendText(out, buffer, static_cast<qsizetype>(result.ptr - buffer));
}

QByteArray RecordChain::encodeFields(const QVariantList& fields) {
    QByteArray bytes;
    for (const QVariant& field : fields) {
        if (field.isNull()) {
            appendNull(bytes);
            continue;
        }
        const QByteArray text = fieldText(field);
        appendText(bytes, text.constData(), text.size());
    }
    return bytes;
}

QByteArray RecordChain::message(const QString& previousLinkHex, const QVariantList& fields) {
    return previousLinkHex.toLatin1() + '\n' + encodeFields(fields);
}

QByteArray RecordChain::linkOf(const QByteArray& previousLinkHex, const QByteArray& encodedFields) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(previousLinkHex);
    hash.addData(QByteArrayView("\n", 1));
    hash.addData(encodedFields);
    return hash.result().toHex();
}

QString RecordChain::link(const QString& previousLinkHex, const QVariantList& fields) {
    return QString::fromLatin1(linkOf(previousLinkHex.toLatin1(), encodeFields(fields)));
}

} // namespace kelvora
