#include "data/RecordQuery.h"

#include "data/DatabaseError.h"
#include "data/DialectTranslator.h"
#include "data/TADOQuery.h"

namespace kelvora {

namespace {

const QString kWeightField = QStringLiteral("重量");
const QString kValueParameter = QStringLiteral("value");

// A picker's date and time as the dialect's literal; "/" and ":" whatever the system's separators are.
QString dateLiteral(const QDate& date, const QTime& time) {
    if (!date.isValid() || !time.isValid() || date.year() < 1 || date.year() > 9999)
        throw DatabaseError(QStringLiteral("查询的起始或终止时间无效"));
    return u'#' + date.toString(QStringLiteral("MM/dd/yyyy")) + u' ' + time.toString(QStringLiteral("HH:mm:ss")) + u'#';
}

} // namespace

const QStringList& RecordQuery::fields() {
    static const QStringList names = {QStringLiteral("型号"), QStringLiteral("检定结果"), QStringLiteral("操作员"),
                                      kWeightField};
    return names;
}

const QStringList& RecordQuery::operators() {
    static const QStringList names = {QStringLiteral("="), QStringLiteral(">"), QStringLiteral("<"),
                                      QStringLiteral(">="), QStringLiteral("<=")};
    return names;
}

RecordQuery::RecordQuery(const QDate& startDate, const QTime& startTime, const QDate& endDate, const QTime& endTime,
                         const QString& field, const QString& op, const QString& value) {
    QString condition = QStringLiteral("where  (时间  between ") + dateLiteral(startDate, startTime) +
                        QStringLiteral(" and  ") + dateLiteral(endDate, endTime) + u')';
    if (!field.isEmpty()) {
        // Exact texts only: these two enter the statement, so nothing else may.
        if (!fields().contains(field))
            throw DatabaseError(
                QStringLiteral("查询条件的字段“%1”无效，只能是型号、检定结果、操作员或重量").arg(field));
        if (!operators().contains(op))
            throw DatabaseError(QStringLiteral("查询条件的运算符“%1”无效，只能是=、>、<、>=或<=").arg(op));
        if (field == kWeightField) {
            const auto number = parseDecimal(value);
            if (!number)
                throw DatabaseError(QStringLiteral("'%1' is not a valid floating point value").arg(value));
            m_value = *number;
        } else {
            m_value = value;
        }
        condition += QStringLiteral("and (") + field + op + u':' + kValueParameter + u')';
    }
    m_lines = {QStringLiteral("select  *  from  weight"), condition};
}

void RecordQuery::openOn(TADOQuery& query) const {
    query.Close();
    query.SQL.Clear();
    for (const QString& line : m_lines)
        query.SQL.Add(line);
    if (m_value.isValid())
        query.Parameters.ParamByName(kValueParameter).Value = m_value;
    query.Open();
}

int RecordQuery::run(TADOQuery& query, const QDate& startDate, const QTime& startTime, const QDate& endDate,
                     const QTime& endTime, const QString& field, const QString& op, const QString& value) {
    query.Close();
    RecordQuery(startDate, startTime, endDate, endTime, field, op, value).openOn(query);
    return query.RecordCount();
}

} // namespace kelvora
