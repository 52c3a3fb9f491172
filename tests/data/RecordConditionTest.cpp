#include "data/RecordCondition.h"

#include "data/DatabaseError.h"
#include "weighing/NumberText.h"

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora {
namespace {

const QDateTime kStart(QDate(2024, 7, 1), QTime(8, 0, 0));
const QDateTime kEnd(QDate(2024, 7, 15), QTime(18, 30, 0));
const QString kRange = u"where  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 18:30:00#)"_s;

TEST(RecordCondition, TheRangeAloneOrWithOneQuotedComparison) {
    EXPECT_EQ(RecordCondition(kStart, kEnd, {}, u"?"_s, u"x"_s).line(), kRange);
    EXPECT_EQ(RecordCondition(kStart, kEnd, u"检定结果"_s, u"="_s, u"超高"_s).line(),
              kRange + u"and (检定结果='超高')"_s);
    EXPECT_EQ(RecordCondition(kStart, kEnd, u"操作员"_s, u"<="_s, u"o'k"_s).line(), kRange + u"and (操作员<='o''k')"_s);
}

TEST(RecordCondition, AWeightIsANumberInAParameter) {
    const RecordCondition condition(kStart, kEnd, u"重量"_s, u">="_s, u" 12.5 "_s);
    EXPECT_EQ(condition.line(), kRange + u"and (重量>=:weight)"_s);
    EXPECT_EQ(condition.weight(), 12.5);
    EXPECT_THROW(RecordCondition(kStart, kEnd, u"重量"_s, u"="_s, u"12.5) or (1=1"_s), ConversionError);
}

TEST(RecordCondition, OnlyTheListedFieldsAndOperators) {
    for (const QString& field : {u"用户密码"_s, u"型号 "_s, u"型号=型号) or (型号"_s, u"weight"_s})
        EXPECT_THROW(RecordCondition(kStart, kEnd, field, u"="_s, u"x"_s), DatabaseError) << field.toStdString();
    for (const QString& op : {u"<>"_s, u" ="_s, u"= 'x' or 1=1 --"_s, u"like"_s, QString()})
        EXPECT_THROW(RecordCondition(kStart, kEnd, u"型号"_s, op, u"x"_s), DatabaseError) << op.toStdString();
}

} // namespace
} // namespace kelvora
