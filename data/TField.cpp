#include "data/TField.h"

#include "data/DatabaseError.h"
#include "data/DialectTranslator.h"

#include <charconv>

#include <QDateTime>

namespace kelvora {

namespace {

QString cannotAccess(const QString& name, const char* type) {
    return QStringLiteral("Cannot access field '%1' as type %2").arg(name, QLatin1String(type));
}

QString shortestNumber(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

} // namespace

QString TField::AsString() const {
    if (m_value.isNull())
        return {};
    switch (m_kind) {
    case schema::ColumnKind::Number:
        return m_value.canConvert<double>() ? shortestNumber(m_value.toDouble()) : m_value.toString();
    case schema::ColumnKind::YesNo:
        return m_value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case schema::ColumnKind::DateTime:
        if (m_value.typeId() == QMetaType::QDateTime)
            return m_value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        return m_value.toString();
    case schema::ColumnKind::Text:
        break;
    }
    return m_value.toString();
}

double TField::AsFloat() const {
    switch (m_kind) {
    case schema::ColumnKind::Number:
        return m_value.isNull() ? 0.0 : m_value.toDouble();
    case schema::ColumnKind::Text: {
        if (m_value.isNull())
            return 0.0;
        const QString text = m_value.toString();
        if (const auto number = parseDecimal(text))
            return *number;
        throw DatabaseError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    }
    default:
        throw DatabaseError(cannotAccess(m_name, "Float"));
    }
}

std::optional<QDateTime> parseStoredTime(const QString& text) {
    if (text.size() != 19 || text[10] != u' ')
        return std::nullopt;
    const QDate date = QDate::fromString(text.left(10), QStringLiteral("yyyy-MM-dd"));
    const QTime time = QTime::fromString(text.mid(11), QStringLiteral("HH:mm:ss"));
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    return QDateTime(date, time, Qt::UTC);
}

bool TField::AsBoolean() const {
    switch (m_kind) {
    case schema::ColumnKind::YesNo:
        return !m_value.isNull() && m_value.toBool();
    case schema::ColumnKind::Text: {
        const QString text = m_value.toString();
        return !text.isEmpty() && QStringLiteral("TtYy").contains(text.front());
    }
    default:
        throw DatabaseError(cannotAccess(m_name, "Boolean"));
    }
}

} // namespace kelvora
