#include "data/RecordCondition.h"

#include "data/DatabaseError.h"
#include "weighing/NumberText.h"

using namespace Qt::StringLiterals;

namespace kelvora {

const QStringList& RecordCondition::fields() {
    static const QStringList names{u"型号"_s, u"检定结果"_s, u"操作员"_s, u"重量"_s};
    return names;
}

const QStringList& RecordCondition::operators() {
    static const QStringList names{u"="_s, u">"_s, u"<"_s, u">="_s, u"<="_s};
    return names;
}

QString RecordCondition::weightParameter() {
    return u"weight"_s;
}

QString RecordCondition::dateLiteral(const QDateTime& time) {
    return u'#' + time.toString(u"MM/dd/yyyy HH:mm:ss"_s) + u'#';
}

RecordCondition::RecordCondition(const QDateTime& start, const QDateTime& end, const QString& field, const QString& op,
                                 const QString& value) {
    m_line = u"where  (时间  between "_s + dateLiteral(start) + u" and  "_s + dateLiteral(end) + u')';
    if (field.isEmpty())
        return;
    // The field and the operator become part of the statement: only the listed ones may.
    if (!fields().contains(field))
        throw DatabaseError(u"查询字段“%1”无效：只能是型号、检定结果、操作员或重量"_s.arg(field));
    if (!operators().contains(op))
        throw DatabaseError(u"比较符“%1”无效：只能是 =、>、<、>= 或 <="_s.arg(op));
    QString operand;
    if (field == u"重量"_s) {
        m_weight = NumberText::toFloat(value.toStdString());
        operand = u':' + weightParameter();
    } else {
        operand = u'\'' + QString(value).replace(u'\'', u"''"_s) + u'\'';
    }
    m_line += u"and ("_s + field + op + operand + u')';
}

} // namespace kelvora
