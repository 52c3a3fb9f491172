#include "quality/window/CheckDialog.h"

#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "quality/report/ShiftReport.h"
#include "tests/support/TestPaths.h"

#include <memory>
#include <stdexcept>
#include <string>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

// 500 g packs weighed in kg on a 1 g division: T 15 g, TU1 0.485, TU2 0.470.
const QualitySettings kSugar{0.5, 0.52, 0.49};

WeighingRecord reading(double kg, const char* verdict = "正常", int second = 0) {
    char time[32];
    std::snprintf(time, sizeof time, "2024-07-15 08:10:%02d", second);
    return {"糖-500g", kg, verdict, "张三", time};
}

class CheckDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = std::make_unique<test::TempDir>();
        const QString database = QString::fromStdString(m_dir->path()) + QStringLiteral("/database.mdb");
        database_setup::initDatabase(database, false);
        m_connection = std::make_unique<TADOConnection>(database);
        m_connection->Open();
        m_dialog.setStation(m_connection.get(), QStringLiteral("糖-500g"), kSugar, QStringLiteral("李四"),
                            QStringLiteral("2024-07-15 08:00"));
    }

    QString result() const { return m_dialog.findChild<QLabel*>(QStringLiteral("resultLabel"))->text(); }

    std::unique_ptr<test::TempDir> m_dir;
    std::unique_ptr<TADOConnection> m_connection;
    CheckDialog m_dialog;
};

TEST_F(CheckDialogTest, APerformanceCheckCountsTheStationsReadingsAndIsStored) {
    m_dialog.findChild<QLineEdit*>(QStringLiteral("referenceEdit"))->setText(QStringLiteral("500"));
    m_dialog.findChild<QSpinBox*>(QStringLiteral("passesBox"))->setValue(4);
    m_dialog.addRecord(reading(0.7)); // before the start: not counted
    m_dialog.start();
    EXPECT_TRUE(m_dialog.running());
    for (double kg : {0.500, 0.501, 0.500, 0.501})
        m_dialog.addRecord(reading(kg));
    EXPECT_FALSE(m_dialog.running());
    ASSERT_TRUE(m_dialog.lastCheck());
    EXPECT_TRUE(m_dialog.lastCheck()->passed) << result().toStdString(); // XIII(1): ±0.5 g, sd 0.8 g; T/5 3 g
    EXPECT_EQ(m_dialog.lastCheck()->kind, QStringLiteral("性能检查"));
    EXPECT_TRUE(result().contains(QStringLiteral("平均误差0.50 g"))) << result().toStdString();
    EXPECT_TRUE(passingCheckOfShift(*m_connection, QStringLiteral("性能检查"), QStringLiteral("2024-07-15 08:00")));

    // A reading 4 g off breaks T/5; the failed check is stored too.
    m_dialog.start();
    for (double kg : {0.500, 0.504, 0.500, 0.500})
        m_dialog.addRecord(reading(kg));
    EXPECT_FALSE(m_dialog.lastCheck()->passed);
    const auto checks = loadChecks(*m_connection, {reportTime(QStringLiteral("2024-07-15 00:00:00")),
                                                   reportTime(QStringLiteral("2024-07-15 23:59:59")), std::nullopt});
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[1].operatorName, QStringLiteral("李四"));
    EXPECT_TRUE(checks[1].summary.contains(QStringLiteral("T/5"))) << checks[1].summary.toStdString();
}

TEST_F(CheckDialogTest, BadInputIsRefusedWithoutStartingAndACheckCanBeCancelled) {
    auto* reference = m_dialog.findChild<QLineEdit*>(QStringLiteral("referenceEdit"));
    reference->setText(QStringLiteral("五百"));
    EXPECT_THROW(m_dialog.start(), std::runtime_error);
    EXPECT_FALSE(m_dialog.running());
    reference->setText(QStringLiteral("500"));
    m_dialog.findChild<QComboBox*>(QStringLiteral("classBox"))->setEditText(QStringLiteral("XIII(3)"));
    EXPECT_THROW(m_dialog.start(), std::runtime_error);
    m_dialog.findChild<QComboBox*>(QStringLiteral("classBox"))->setEditText(QStringLiteral("XIII(1)"));
    m_dialog.start();
    m_dialog.addRecord(reading(0.5));
    m_dialog.cancel();
    m_dialog.addRecord(reading(0.5));
    EXPECT_FALSE(m_dialog.lastCheck());
}

TEST_F(CheckDialogTest, AChallengeTestNeedsEachVerdictAndEachRejectsAlarmFrame) {
    const std::string alarm = "\x02+00000040000000\r";
    const auto send = [&](const std::string& bytes) {
        m_dialog.addOutput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    };
    m_dialog.findChild<QComboBox*>(QStringLiteral("kindBox"))->setCurrentIndex(1);
    m_dialog.start();
    m_dialog.addRecord(reading(0.49));
    m_dialog.addRecord(reading(0.484, "超低"));
    send(alarm);
    m_dialog.addRecord(reading(0.469, "超低"));
    send(alarm);
    m_dialog.addRecord(reading(0.521, "超高"));
    send(alarm);
    ASSERT_TRUE(m_dialog.lastCheck());
    EXPECT_TRUE(m_dialog.lastCheck()->passed) << result().toStdString();

    // The station let the pack short by more than T through, and the last reject sent no alarm.
    m_dialog.start();
    m_dialog.addRecord(reading(0.49));
    m_dialog.addRecord(reading(0.484));
    m_dialog.addRecord(reading(0.469, "超低"));
    send(alarm);
    m_dialog.addRecord(reading(0.521, "超高"));
    EXPECT_TRUE(m_dialog.running()) << "waiting for the last reject's alarm frame";
    m_dialog.setAlarmWait(10);
    m_dialog.start(); // a new start does not keep the old wait
    for (const char* v : {"正常", "正常", "超低"})
        m_dialog.addRecord(reading(0.5, v));
    send(alarm);
    m_dialog.addRecord(reading(0.521, "超高"));
    QTest::qWait(100);
    ASSERT_FALSE(m_dialog.running());
    EXPECT_FALSE(m_dialog.lastCheck()->passed);
    EXPECT_EQ(m_dialog.lastCheck()->kind, QStringLiteral("剔除检查"));
    EXPECT_TRUE(result().contains(QStringLiteral("短缺超过T：判为正常，应为超低"))) << result().toStdString();
    EXPECT_TRUE(result().contains(QStringLiteral("超过上限值：剔除后没有发出报警信号"))) << result().toStdString();
}

} // namespace
} // namespace kelvora
