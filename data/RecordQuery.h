#pragma once

#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>
#include <QVariant>

namespace kelvora {

class TADOQuery;

/// The record query window's statement on `weight`: a time range, both ends included, and optionally one
/// condition "field operator value".
///
/// The statement is written in the station's dialect as the window sends it, two lines:
///   select  *  from  weight
///   where  (时间  between #MM/DD/YYYY HH:MM:SS# and  #MM/DD/YYYY HH:MM:SS#)and (FIELDOP:value)
/// The condition part is there only when the field text is not empty. The field and operator texts are
/// checked against fixed lists before they enter the statement, and the value never enters it: it is the
/// bound parameter `value` (a number for 重量, the text unchanged for the other columns). So no typed
/// text changes what the statement does. The range ends are written from the pickers' date and time as
/// they show them (wall-clock time, no time-zone conversion).
class RecordQuery {
public:
    /// The columns a condition may name, in the window's list order, and the operators.
    static const QStringList& fields();
    static const QStringList& operators();

    /// Builds the statement. Throws DatabaseError, before any statement is sent, for a field text that is
    /// not one of fields() (and not empty), an operator text that is not one of operators() (checked only
    /// with a field), a 重量 value that is not a number ("'%s' is not a valid floating point value") and
    /// an invalid date or time. With an empty field text the operator and value are ignored.
    RecordQuery(const QDate& startDate, const QTime& startTime, const QDate& endDate, const QTime& endTime,
                const QString& field, const QString& op, const QString& value);

    /// The statement's lines, as added to a query's SQL.
    const QStringList& lines() const { return m_lines; }
    /// The value for the parameter `value` (a double for 重量, text otherwise); invalid without a condition.
    const QVariant& value() const { return m_value; }

    /// Sends the statement on `query`: Close, SQL.Clear, the lines, the parameter, Open. Throws
    /// DatabaseError with the engine's message; the query then stays closed.
    void openOn(TADOQuery& query) const;

    /// What the window's 查询 button does: closes `query` (so a refused or failed query leaves the grid
    /// empty), builds the statement from the inputs, opens it and returns the exact row count for
    /// "共N条记录。". Throws DatabaseError as the constructor and openOn do.
    static int run(TADOQuery& query, const QDate& startDate, const QTime& startTime, const QDate& endDate,
                   const QTime& endTime, const QString& field, const QString& op, const QString& value);

private:
    QStringList m_lines;
    QVariant m_value;
};

} // namespace kelvora
