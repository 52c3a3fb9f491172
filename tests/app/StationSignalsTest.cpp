// The station process ended from outside: told to end (SIGTERM, SIGHUP) it runs its close steps; killed
// outright, Option.ini still holds a recent count.
#include "app/config/ProfileFile.h"
#include "data/DatabaseSetup.h"
#include "simulator/IndicatorFrame.h"
#include "tests/support/PtyTestSupport.h"
#include "tests/support/TestPaths.h"

#include <csignal>

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace kelvora::test {
namespace {

// Logs in, types a model with its limits and starts on the line; the last line only keeps the script open.
const QByteArray kScript = "0 set ComboBox1 admin\n0 set Edit1 123456\n0 click RzBitBtn1\n"
                           "100 set ComboBox1 M1\n100 set Et2 20.000\n100 set Et3 12.000\n"
                           "100 set LabeledEdit1 1000\n100 set LabeledEdit2 1000\n200 click BtnClear\n"
                           "600000 dump Edit3\n";

class StationSignalsTest : public ::testing::Test {
protected:
    void SetUp() override {
        database_setup::initDatabase(QString::fromStdString(m_station.file("database.mdb")), false);
        ProfileFile(m_station.file("Option.ini")).writeString("Word", "SC_Num", "0");
        QFile script(QString::fromStdString(m_station.file("script.txt")));
        ASSERT_TRUE(script.open(QIODevice::WriteOnly));
        script.write(kScript);
    }
    void TearDown() override {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    void start() {
        m_process.start(QString::fromStdString(binDir()) + u"/kelvora"_s,
                        {u"--script"_s, QString::fromStdString(m_station.file("script.txt")), u"--trace"_s, u"--port"_s,
                         QString::fromStdString(m_line.path()), u"--dir"_s, QString::fromStdString(m_station.path())});
        ASSERT_TRUE(m_process.waitForStarted(10000));
        ASSERT_TRUE(traceUntil(u"\"ev\":\"port\",\"open\":true"_s)) << m_trace.toStdString();
    }
    // Reads the trace until it holds `what`.
    bool traceUntil(const QString& what, int timeoutMs = 10000) {
        QElapsedTimer waited;
        waited.start();
        while (!m_trace.contains(what) && waited.elapsed() < timeoutMs && m_process.state() == QProcess::Running) {
            m_process.waitForReadyRead(50);
            m_trace += QString::fromUtf8(m_process.readAllStandardOutput());
        }
        m_trace += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_trace.contains(what);
    }
    // A product of 15 over the platform, then the empty platform.
    void product() {
        for (double weight : {15.0, 15.0, 15.0, 15.0, 15.0, 0.0}) {
            m_line.send(IndicatorFrame::toledo(weight, false));
            std::this_thread::sleep_for(std::chrono::milliseconds(40));
        }
    }
    QString savedCount() const {
        return QString::fromStdString(ProfileFile(m_station.file("Option.ini")).readString("Word", "SC_Num", ""));
    }
    // The value of the trace's last "ini" line.
    QString lastTracedCount() const {
        QString value;
        for (const QString& line : m_trace.split(u'\n'))
            if (line.contains(u"\"ev\":\"ini\""_s))
                value = QJsonDocument::fromJson(line.toUtf8()).object()[u"value"_s].toString();
        return value;
    }

    TempDir m_station;
    PtyPair m_line;
    QProcess m_process;
    QString m_trace;
};

TEST_F(StationSignalsTest, KilledOutrightTheCountOfTheLastSaveSurvives) {
    start();
    product();
    ASSERT_TRUE(traceUntil(u"\"ev\":\"ini\""_s)) << "the first counted product saves the count";
    product();
    product();
    ASSERT_TRUE(traceUntil(u"此产品是第3个"_s));
    ::kill(static_cast<pid_t>(m_process.processId()), SIGKILL);
    ASSERT_TRUE(m_process.waitForFinished(5000));
    EXPECT_EQ(lastTracedCount(), u"1"_s) << "the next save is due 10 s later";
    EXPECT_EQ(savedCount(), lastTracedCount());
}

TEST_F(StationSignalsTest, ToldToEndItRunsTheCloseStepsWithoutAsking) {
    for (int signal : {SIGTERM, SIGHUP}) {
        m_trace.clear();
        start();
        product();
        product();
        ASSERT_TRUE(traceUntil(u"此产品是第2个"_s));
        ::kill(static_cast<pid_t>(m_process.processId()), signal);
        ASSERT_TRUE(m_process.waitForFinished(10000));
        m_trace += QString::fromUtf8(m_process.readAllStandardOutput());
        EXPECT_EQ(m_process.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(m_process.exitCode(), 0) << signal;
        EXPECT_FALSE(m_trace.contains(u"您确实要退出本系统吗"_s)) << signal;
        EXPECT_EQ(lastTracedCount(), u"2"_s) << signal;
        EXPECT_EQ(savedCount(), u"2"_s) << signal;
        // The close's last frame, all bits cleared, went out before the port closed.
        const qsizetype close = m_trace.lastIndexOf(u"\"ev\":\"ini\""_s);
        EXPECT_GT(
            m_trace.indexOf(
                u"\"ev\":\"frame\",\"flags\":0,\"hex\":\"022B30303030303030303030303030300D\",\"sent\":true"_s, close),
            close)
            << signal;
        ProfileFile(m_station.file("Option.ini")).writeString("Word", "SC_Num", "0");
    }
}

} // namespace
} // namespace kelvora::test
