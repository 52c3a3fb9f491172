#include "data/RecordChain.h"

#include <QDateTime>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// Digests computed independently (sha256sum over the documented bytes).
TEST(RecordChainTest, HashesTheDocumentedBytes) {
    EXPECT_EQ(RecordChain::link(QStringLiteral("abc"), {QStringLiteral("x"), QVariant(), 4.5, true}).toStdString(),
              "4e0fa59ee41590565f6bffa3c85693fe81818cf801fd24a86c0d4f7cf2a9c8f6");
    const QDateTime time(QDate(2024, 7, 15), QTime(8, 0), Qt::UTC);
    EXPECT_EQ(RecordChain::link({}, {time}).toStdString(),
              "063b5ac585574074afe058ca67c54e33f1b05e78b7e46cbce1e988470989fa80");
    // The stored text of the time links alike, so writer and reader may hold it either way.
    EXPECT_EQ(RecordChain::link({}, {QStringLiteral("2024-07-15 08:00:00")}), RecordChain::link({}, {time}));
}

TEST(RecordChainTest, NumbersLinkAlikeHoweverTheEngineReturnsThem) {
    EXPECT_EQ(RecordChain::fieldText(5.0), "5");
    EXPECT_EQ(RecordChain::fieldText(qlonglong(5)), "5");
    EXPECT_EQ(RecordChain::fieldText(4.925), "4.925");
    EXPECT_EQ(RecordChain::fieldText(0.1 + 0.2), "0.30000000000000004"); // no rounding that would hide a change
    EXPECT_EQ(RecordChain::fieldText(-0.0), "-0");
}

TEST(RecordChainTest, FieldBoundariesAndNullsCannotBeShifted) {
    const QString previous = RecordChain::link({}, {QStringLiteral("first")});
    const auto link = [&](const QVariantList& fields) { return RecordChain::link(previous, fields); };
    EXPECT_NE(link({QStringLiteral("ab"), QStringLiteral("c")}), link({QStringLiteral("a"), QStringLiteral("bc")}));
    EXPECT_NE(link({QVariant(QMetaType::fromType<QString>())}), link({QStringLiteral("")}))
        << "a null and an empty text differ";
    EXPECT_NE(link({QVariant(), QStringLiteral("x")}), link({QStringLiteral("-"), QStringLiteral("x")}));
    EXPECT_NE(link({QStringLiteral("1:x")}), link({QStringLiteral("x"), QStringLiteral("")}));
    EXPECT_NE(link({QStringLiteral("A100")}), link({QStringLiteral("a100")}));
    EXPECT_NE(link({QStringLiteral("x")}), RecordChain::link({}, {QStringLiteral("x")})) << "the previous link counts";
    EXPECT_EQ(link({QStringLiteral("x")}).size(), 64);
}

} // namespace
} // namespace kelvora
