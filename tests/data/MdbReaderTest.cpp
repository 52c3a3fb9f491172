#include "data/MdbReader.h"

#include "data/DatabaseError.h"

#include <gtest/gtest.h>

namespace kelvora {
namespace {

TEST(MdbReaderTest, SplitsTheExportedCsv) {
    const auto table =
        MdbReader::parseCsv(QStringLiteral("型号,重量,操作员\r\n\"a,\"\"b\"\"\nc\",1.5,\"\"\n\"\",,\"x\"\n\n"));
    EXPECT_EQ(table.columns, QStringList({"型号", "重量", "操作员"}));
    ASSERT_EQ(table.rows.size(), 2u);
    EXPECT_EQ(table.rows[0][0].text, QStringLiteral("a,\"b\"\nc"));
    EXPECT_EQ(table.rows[0][1].text, QStringLiteral("1.5"));
    EXPECT_FALSE(table.rows[0][2].isNull()); // quoted empty text
    EXPECT_FALSE(table.rows[1][0].isNull());
    EXPECT_TRUE(table.rows[1][1].isNull()); // empty and unquoted
    EXPECT_EQ(table.rows[1][2].text, QStringLiteral("x"));
}

TEST(MdbReaderTest, RefusesBrokenOutput) {
    EXPECT_THROW(MdbReader::parseCsv(QStringLiteral("a,b\n1\n")), DatabaseError);
    EXPECT_THROW(MdbReader::parseCsv(QStringLiteral("a,b\n\"1,2\n")), DatabaseError);
    EXPECT_THROW(MdbReader(QStringLiteral("/nonexistent/station.mdb")), DatabaseError);
}

} // namespace
} // namespace kelvora
