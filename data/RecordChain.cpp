#include "data/RecordChain.h"

#include <charconv>

#include <QCryptographicHash>
#include <QDateTime>

namespace kelvora {

QByteArray RecordChain::fieldText(const QVariant& value) {
    if (value.isNull())
        return {};
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? QByteArrayLiteral("1") : QByteArrayLiteral("0");
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Float:
    case QMetaType::Double: {
        // One form for a number however the engine hands it back (an integer, a REAL, a float8).
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, value.toDouble());
        return QByteArray(buffer, static_cast<qsizetype>(result.ptr - buffer));
    }
    case QMetaType::QDateTime:
        return value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toUtf8();
    default:
        return value.toString().toUtf8();
    }
}

QByteArray RecordChain::message(const QString& previousLinkHex, const QVariantList& fields) {
    QByteArray bytes = previousLinkHex.toLatin1();
    bytes += '\n';
    for (const QVariant& field : fields) {
        if (field.isNull()) {
            bytes += '-';
            continue;
        }
        const QByteArray text = fieldText(field);
        bytes += QByteArray::number(text.size());
        bytes += ':';
        bytes += text;
    }
    return bytes;
}

QString RecordChain::link(const QString& previousLinkHex, const QVariantList& fields) {
    return QString::fromLatin1(
        QCryptographicHash::hash(message(previousLinkHex, fields), QCryptographicHash::Sha256).toHex());
}

} // namespace kelvora
