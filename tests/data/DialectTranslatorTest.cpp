#include "data/DialectTranslator.h"

#include "DataTestSupport.h"
#include "data/DatabaseError.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using schema::ColumnKind;
using schema::Dialect;

struct Golden {
    const char* statement;
    const char* sql;
    std::vector<QString> values; // literal values, or ":name" for parameters, in placeholder order
};

QString describe(const TranslatedStatement::Binding& b) {
    return b.isParameter ? u':' + b.parameter : b.value;
}

// The statements the station's windows send, exactly as they write them, and what each engine gets.
TEST(DialectTranslatorTest, TranslatesEveryStatementOfTheStation) {
    const std::vector<Golden> goldens = {
        {"select   top  20   *  from  weight", "select * from \"weight\" limit 20", {}},
        {"Select  *  From  XH", "select * from \"XH\"", {}},
        {"select  *  from  xh  where  型号=\"A100\"", "select * from \"XH\" where \"型号\" = ?", {"A100"}},
        {"Select  *  From  XH  Where  型号='O''Brien \"q\"'",
         "select * from \"XH\" where \"型号\" = ?",
         {"O'Brien \"q\""}},
        {"Insert  Into  XH(型号,标准值,上限值,下限值)  values  (:xh,:A,:B,:C)",
         "insert into \"XH\" (\"型号\", \"标准值\", \"上限值\", \"下限值\") values (?, ?, ?, ?)",
         {":xh", ":A", ":B", ":C"}},
        {"Delete  From  XH  Where  型号=\"A100\"", "delete from \"XH\" where \"型号\" = ?", {"A100"}},
        {"Update  XH    Set  标准值=\"16.000\",上限值=\"20.000\",下限值=\"12.000\" Where  型号=\"A100\"",
         "update \"XH\" set \"标准值\" = ?, \"上限值\" = ?, \"下限值\" = ? where \"型号\" = ?",
         {"16.000", "20.000", "12.000", "A100"}},
        {"Delete  *  From  Weight", "delete from \"weight\"", {}},
        {"select  *  from  weight\r\nwhere  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 "
         "18:30:00#)and (检定结果='超高')",
         "select * from \"weight\" where (\"时间\" between ? and ?) and (\"检定结果\" = ?)",
         {"2024-07-01 08:00:00", "2024-07-15 18:30:00", "超高"}},
        {"select  *  from  weight\r\nwhere  (时间  between #07/01/2024 08:00:00# and  #07/15/2024 "
         "18:30:00#)and (重量>=12.5)",
         "select * from \"weight\" where (\"时间\" between ? and ?) and (\"重量\" >= 12.5)",
         {"2024-07-01 08:00:00", "2024-07-15 18:30:00"}},
        {"select  *  from  users", "select * from \"users\"", {}},
        {"select  *  from  users\r\nwhere (用户名称='张三')  and  (用户密码='abc''1')",
         "select * from \"users\" where (\"用户名称\" = ?) and (\"用户密码\" = ?)",
         {"张三", "abc'1"}},
        {"select  *  from   users\r\norder  by   用户名称\r\n", "select * from \"users\" order by \"用户名称\"", {}},
        {"select * from (select top 3 * from weight) where 重量 > 1",
         "select * from (select * from \"weight\" limit 3) where \"重量\" > 1",
         {}},
    };
    for (const Dialect dialect : {Dialect::Sqlite, Dialect::Postgres}) {
        for (const Golden& golden : goldens) {
            SCOPED_TRACE(golden.statement);
            const auto translated = translateStatement(QString::fromUtf8(golden.statement), dialect);
            EXPECT_EQ(translated->sql, QString::fromUtf8(golden.sql));
            std::vector<QString> values;
            for (const auto& binding : translated->bindings)
                values.push_back(describe(binding));
            EXPECT_EQ(values, golden.values);
        }
    }
}

TEST(DialectTranslatorTest, ValuesKnowTheColumnTheyMeet) {
    const auto insert = translateStatement(
        QStringLiteral("Insert  Into  XH(型号,标准值,上限值,下限值)  values  (:xh,:A,:B,:C)"), Dialect::Sqlite);
    ASSERT_EQ(insert->bindings.size(), 4u);
    EXPECT_EQ(insert->bindings[0].kind, ColumnKind::Text);
    EXPECT_EQ(insert->bindings[2].column, QStringLiteral("上限值"));
    EXPECT_EQ(insert->bindings[2].kind, ColumnKind::Number);
    EXPECT_EQ(insert->parameterNames, QStringList({"xh", "A", "B", "C"}));

    const auto range = translateStatement(QStringLiteral("select * from weight where 时间 between #1/2/2024# and "
                                                         "#01/03/2024 7:05# and 重量 <> '3'"),
                                          Dialect::Sqlite);
    ASSERT_EQ(range->bindings.size(), 3u);
    EXPECT_EQ(range->bindings[0].value, QStringLiteral("2024-01-02 00:00:00"));
    EXPECT_EQ(range->bindings[1].value, QStringLiteral("2024-01-03 07:05:00"));
    EXPECT_EQ(range->bindings[1].kind, ColumnKind::DateTime);
    EXPECT_EQ(range->bindings[2].kind, ColumnKind::Number);
}

TEST(DialectTranslatorTest, RefusesWhatTheDialectCannotRead) {
    const char* bad[] = {
        "select * from xh where 型号=\"say \"hi\"", // a name holding a double quote, put between double quotes
        "select * from xh where 型号='open",
        "select * from weight where 时间 > #02/30/2024 10:00:00#",
        "select * from weight where 时间 > #07/15/2024 24:00:00#",
        "select * from weight where 时间 > #2024-07-15#",
        "select * from weight where (重量 > 1",
        "select top x * from weight",
        "select * from weight where 重量 > 1 ? 2",
    };
    for (const char* statement : bad) {
        SCOPED_TRACE(statement);
        EXPECT_THROW(translateStatement(QString::fromUtf8(statement), Dialect::Sqlite), DatabaseError);
    }
}

// Date literals are read as written, whatever the local time zone says about that wall-clock time.
TEST(DialectTranslatorTest, DatesAreReadStrictlyAndNeverThroughLocalTime) {
    test::ScopedTimeZone berlin("Europe/Berlin");
    const auto dateOf = [](const char* literal) {
        const auto translated = translateStatement(
            QStringLiteral("select * from weight where 时间 > ") + QString::fromUtf8(literal), Dialect::Postgres);
        return translated->bindings.at(0).value;
    };
    // The spring gap (02:00-03:00 does not exist in Berlin on that day) and the autumn fold.
    EXPECT_EQ(dateOf("#03/31/2024 02:30:00#"), QStringLiteral("2024-03-31 02:30:00"));
    EXPECT_EQ(dateOf("#3/31/2024 2:59:59#"), QStringLiteral("2024-03-31 02:59:59"));
    EXPECT_EQ(dateOf("#10/27/2024 02:30:00#"), QStringLiteral("2024-10-27 02:30:00"));
    EXPECT_EQ(dateOf("#2/29/2024 23:59:59#"), QStringLiteral("2024-02-29 23:59:59"));
    EXPECT_EQ(dateOf("#1/2/0100 0:0:0#"), QStringLiteral("0100-01-02 00:00:00"));
    EXPECT_EQ(dateOf("# 12/31/9999 #"), QStringLiteral("9999-12-31 00:00:00"));

    for (const char* literal : {"#+1/+2/+024 +1:+2#",
                                "#01/02/-001#",
                                "#01/02/+2024#",
                                "#-1/02/2024#",
                                "#01/02/2024 -1:00#",
                                "#01/02/2024 10:+5#",
                                "#01/02/24#",
                                "#01/02/02024#",
                                "#001/02/2024#",
                                "#01/02/2024 010:00#",
                                "#01/02/0000#",
                                "#02/29/2023#",
                                "#13/01/2024#",
                                "#00/10/2024#",
                                "#01/02/2024 10:60#",
                                "#01/02/2024 10:00:60#",
                                "#01/02/2024 10#",
                                "#01/02/2024 1:2:3:4#",
                                "#01/02/2024 10:00 PM#",
                                "#01/02/2024T10:00#",
                                "#１/２/２０２４#",
                                "#01/ 2/2024#",
                                "#01//2024#",
                                "##"}) {
        SCOPED_TRACE(literal);
        try {
            dateOf(literal);
            ADD_FAILURE() << "accepted";
        } catch (const DatabaseError& e) {
            EXPECT_TRUE(e.message().startsWith(QStringLiteral("Syntax error in date"))) << e.what();
            EXPECT_TRUE(e.message().contains(QStringLiteral("#MM/DD/YYYY HH:MM:SS#"))) << e.what();
        }
    }
}

TEST(DialectTranslatorTest, CachesTranslations) {
    const QString statement = QStringLiteral("select  *  from  xh  where  型号=\"cached\"");
    EXPECT_EQ(translateStatement(statement, Dialect::Sqlite).get(),
              translateStatement(statement, Dialect::Sqlite).get());
}

TEST(DialectTranslatorTest, ConvertsTextForNumericColumns) {
    TranslatedStatement::Binding number;
    number.column = QStringLiteral("上限值");
    number.kind = ColumnKind::Number;
    EXPECT_EQ(bindingValue(number, QStringLiteral(" 20.500 ")), QVariant(20.5));
    EXPECT_EQ(bindingValue(number, QStringLiteral("-1e3")), QVariant(-1000.0));
    EXPECT_TRUE(bindingValue(number, QVariant(QMetaType::fromType<QString>())).isNull());
    for (const char* text : {"", "abc", "1.2.3", ".", "- 1", "1,5", "0x10", "１２"}) {
        SCOPED_TRACE(text);
        EXPECT_THROW(bindingValue(number, QString::fromUtf8(text)), DatabaseError);
    }
    try {
        bindingValue(number, QStringLiteral("abc"));
    } catch (const DatabaseError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("Data type mismatch"))) << e.what();
        EXPECT_TRUE(e.message().contains(QStringLiteral("上限值"))) << e.what();
    }
    TranslatedStatement::Binding text;
    text.kind = ColumnKind::Text;
    EXPECT_EQ(bindingValue(text, QStringLiteral("abc")), QVariant(QStringLiteral("abc")));
}

} // namespace
} // namespace kelvora
