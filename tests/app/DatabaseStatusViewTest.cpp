// The status bar's word on the station's records: nothing while the database takes them, the count of
// waiting rows as soon as it is away, the marquee left alone before 30 s.
#include "app/DatabaseStatusView.h"

#include "data/DatabaseSetup.h"
#include "data/TADOConnection.h"
#include "station/StationRuntime.h"
#include "tests/support/FakeStationHost.h"

#include <chrono>
#include <thread>

#include <QLabel>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

class DatabaseStatusViewTest : public ::testing::Test {
protected:
    void start(const QString& target) {
        StationRuntime::RecordingOptions options;
        options.target = target;
        options.journalPath = m_dir.filePath(QStringLiteral("journal.db"));
        options.station = "线1";
        options.timeText = [] { return std::string("2026-12-11 08:00:00"); };
        m_runtime.startRecording(std::move(options));
    }
    void verdicts(int count) {
        m_host.setText(Control::Edit2, "5.010");
        for (int i = 0; i < count; ++i) {
            m_runtime.recordVerdict("正常", "张三");
            m_runtime.productOver();
        }
    }
    static void rename(const QString& database, const char* from, const char* to) {
        TADOConnection connection(database);
        connection.Open();
        QSqlQuery query(connection.database());
        ASSERT_TRUE(query.exec(
            QStringLiteral("alter table %1 rename to %2").arg(QString::fromUtf8(from), QString::fromUtf8(to))));
    }
    // Refreshes until the pane is shown or hidden as wanted, at most 5 s.
    bool paneBecomes(bool shown) {
        for (int i = 0; i < 50; ++i) {
            m_view->refresh();
            if (!m_pane.isHidden() == shown)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    QTemporaryDir m_dir;
    test::FakeStationHost m_host;
    StationRuntime m_runtime{m_host};
    QLabel m_pane;
    QLabel m_marquee{QStringLiteral("欢迎使用")};
    std::unique_ptr<DatabaseStatusView> m_view;
};

TEST_F(DatabaseStatusViewTest, ADatabaseAwayShowsTheWaitingRowsAndTheMarqueeKeepsItsCaptionAtFirst) {
    const QString database = m_dir.filePath(QStringLiteral("database.mdb"));
    database_setup::initDatabase(database, false);
    start(database);
    m_view = std::make_unique<DatabaseStatusView>(m_runtime, m_pane, m_marquee, [] { return false; });
    verdicts(2);
    ASSERT_TRUE(m_runtime.flushRecords(5000));
    EXPECT_TRUE(paneBecomes(false)) << m_pane.text().toStdString();

    // The records' table goes away: the rows wait in the journal and the pane says how many.
    rename(database, "weight", "weight_away");
    verdicts(3);
    ASSERT_TRUE(paneBecomes(true));
    EXPECT_EQ(m_pane.text(), QStringLiteral("数据库离线，3 条待上传"));
    EXPECT_EQ(m_marquee.text(), QStringLiteral("欢迎使用")) << "the marquee only after 30 s";

    // Back: the rows go up and the pane is cleared.
    rename(database, "weight_away", "weight");
    EXPECT_TRUE(paneBecomes(false)) << m_pane.text().toStdString();
    EXPECT_TRUE(m_pane.text().isEmpty());
}

} // namespace
} // namespace kelvora
