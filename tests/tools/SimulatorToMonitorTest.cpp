// End to end: the indicator simulator on a pseudo-terminal, the live monitor on its other side, and the
// replay of the monitor's recording, all as the built programs.
#include "data/DatabaseSetup.h"
#include "data/RecordJournal.h"
#include "data/TADOConnection.h"
#include "data/TADOQuery.h"
#include "simulator/IndicatorFrame.h"
#include "simulator/SimulatorPort.h"
#include "tests/support/TestPaths.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

QString tool() {
    return QString::fromStdString(test::binDir() + "/kelvora-tool");
}

std::vector<QJsonObject> jsonLines(const QByteArray& output) {
    std::vector<QJsonObject> lines;
    for (const QByteArray& line : output.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            lines.push_back(QJsonDocument::fromJson(line).object());
        }
    }
    return lines;
}

std::vector<QJsonObject> events(const std::vector<QJsonObject>& lines, const QString& ev) {
    std::vector<QJsonObject> found;
    for (const QJsonObject& line : lines) {
        if (line["ev"].toString() == ev) {
            found.push_back(line);
        }
    }
    return found;
}

// verdict, model and weight of each record, in order
std::vector<std::string> records(const std::vector<QJsonObject>& trace) {
    std::vector<std::string> result;
    for (const QJsonObject& record : events(trace, "record")) {
        result.push_back(
            (record["verdict"].toString() + " " + record["model"].toString() + " " + record["weight"].toString())
                .toStdString());
    }
    return result;
}

std::string weightText(double weight) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", weight);
    return text;
}

struct Session {
    std::string ini;
    std::vector<std::string> storedRows; ///< "model|weight|verdict" of each row of `weight`
    std::vector<QJsonObject> simulator;
    std::vector<QJsonObject> monitor;
    std::string recording;
};

// Runs the simulator with the given options and the monitor on its port until the simulator is done,
// then stops the monitor with SIGTERM as an operator would.
Session runSession(const QStringList& simulatorOptions, const std::string& script, const std::string& ini) {
    test::TempDir dir;
    {
        std::ofstream(dir.file("script.txt")) << script;
        std::ofstream(dir.file("Option.ini")) << ini;
    }
    const QString database = QString::fromStdString(dir.file("records.db"));
    database_setup::initDatabase(database, false);
    QProcess simulator;
    simulator.start(tool(), QStringList{"simulate"} + simulatorOptions);
    EXPECT_TRUE(simulator.waitForStarted(5000));
    EXPECT_TRUE(simulator.waitForReadyRead(5000));
    const QByteArray portLine = simulator.readLine();
    const QString port = QJsonDocument::fromJson(portLine).object()["path"].toString();
    EXPECT_FALSE(port.isEmpty()) << portLine.toStdString();

    QProcess monitor;
    monitor.start(tool(), {"monitor", "--port", port, "--script", QString::fromStdString(dir.file("script.txt")),
                           "--record", QString::fromStdString(dir.file("recording.txt")), "--seconds", "60", "--ini",
                           QString::fromStdString(dir.file("Option.ini")), "--db", database});
    EXPECT_TRUE(monitor.waitForStarted(5000));
    EXPECT_TRUE(simulator.waitForFinished(60000));
    EXPECT_EQ(simulator.exitCode(), 0) << simulator.readAllStandardError().toStdString();
    monitor.terminate();
    EXPECT_TRUE(monitor.waitForFinished(15000));
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0) << monitor.readAllStandardError().toStdString();

    Session session;
    session.ini = ini;
    session.simulator = jsonLines(portLine + simulator.readAllStandardOutput());
    session.monitor = jsonLines(monitor.readAllStandardOutput());
    std::ifstream in(dir.file("recording.txt"));
    session.recording.assign(std::istreambuf_iterator<char>(in), {});
    TADOConnection connection(database);
    TADOQuery query(connection);
    query.SQL.Add(QStringLiteral("select * from weight"));
    query.Open();
    for (query.First(); !query.Eof(); query.Next()) {
        QStringList fields;
        for (const char* column : {"型号", "重量", "检定结果"}) {
            fields << query.FieldByName(QString::fromUtf8(column)).AsString();
        }
        session.storedRows.push_back(fields.join(u'|').toStdString());
    }
    return session;
}

std::vector<QJsonObject> replay(const Session& session) {
    test::TempDir dir;
    {
        std::ofstream(dir.file("recording.txt")) << session.recording;
        std::ofstream(dir.file("Option.ini")) << session.ini;
    }
    QProcess replay;
    replay.start(tool(), {"replay", "--ini", QString::fromStdString(dir.file("Option.ini")),
                          QString::fromStdString(dir.file("recording.txt"))});
    EXPECT_TRUE(replay.waitForFinished(30000));
    EXPECT_EQ(replay.exitCode(), 0) << replay.readAllStandardError().toStdString();
    return jsonLines(replay.readAllStandardOutput());
}

// Batch values out of reach (two frames per product) and limits that take every product.
const std::string kScript = "0 set LabeledEdit1 1000\n0 set LabeledEdit2 1000\n0 select M1 15 100 0\n";

class SimulatorToMonitor : public testing::TestWithParam<const char*> {};

TEST_P(SimulatorToMonitor, EveryProductIsCapturedAndTheRecordingReplaysToTheSameRecords) {
    // 25 readings a second keep a gap of more than 16 ms between frames at 9600 baud, so each frame is a
    // chunk of its own; 100 a minute gives each product 9 readings on the platform.
    const Session session = runSession({"--indicator", GetParam(), "--count", "12", "--rate", "25",
                                        "--products-per-minute", "100", "--mean", "15", "--sd", "1.5", "--seed", "7"},
                                       kScript, std::string(GetParam()) == "yaohua" ? "[仪表]\n1=0\n2=1\n" : "");
    const auto products = events(session.simulator, "product");
    ASSERT_EQ(products.size(), 12u);
    EXPECT_EQ(session.simulator.back()["ev"].toString(), "done");
    EXPECT_EQ(session.simulator.back()["products"].toInt(), 12);

    // One capture per product. The capture takes the sample before the peak, and the window keeps the
    // previous product's samples: on a level reading that is the previous product's weight. The first
    // product waits for four readings of its own instead of taking the start-up zeros.
    std::vector<std::string> expected{"正常 M1 " + weightText(products[0]["weight"].toDouble())};
    for (std::size_t n = 0; n + 1 < products.size(); ++n) {
        expected.push_back("正常 M1 " + weightText(products[n]["weight"].toDouble()));
    }
    EXPECT_EQ(records(session.monitor), expected);

    // Each product is one row of the database.
    std::vector<std::string> rows;
    for (const QJsonObject& record : events(session.monitor, "record")) {
        rows.push_back("M1|" + QString::number(record["weight"].toString().toDouble()).toStdString() + "|正常");
    }
    EXPECT_EQ(session.storedRows, rows);

    // Each frame the monitor queued on the open port reached the simulator, in order.
    std::vector<QString> sent;
    for (const QJsonObject& frame : events(session.monitor, "frame")) {
        if (frame["sent"].toBool()) {
            sent.push_back(frame["hex"].toString());
        }
    }
    std::vector<QString> received;
    for (const QJsonObject& frame : events(session.simulator, "frame")) {
        received.push_back(frame["hex"].toString());
    }
    EXPECT_EQ(received.size(), 4u + 4u * 12u); // two sends of two frames: the model selection, each product
    EXPECT_EQ(received, sent);

    // The port opened first and closed last; the recording replays to the same records.
    const auto ports = events(session.monitor, "port");
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_TRUE(ports.front()["open"].toBool());
    EXPECT_FALSE(ports.back()["open"].toBool());
    EXPECT_EQ(session.recording.rfind("# kelvora-tool monitor on ", 0), 0u);
    EXPECT_NE(session.recording.find(" click OpenPort\n"), std::string::npos);
    EXPECT_NE(session.recording.find(" click ClosePort\n"), std::string::npos);
    EXPECT_EQ(records(replay(session)), records(session.monitor));
}

INSTANTIATE_TEST_SUITE_P(Indicators, SimulatorToMonitor, testing::Values("toledo", "yaohua"));

TEST(SimulatorToMonitorStable, TheStableCaptureWeighsEachProductByItsOwnReadings) {
    // Ramps and a ringing of 5 d: the stable capture, chosen in Option.ini, takes each product's own
    // settled weight, once. At 60 a minute the plateau holds 11 readings, so that a reading lost to a
    // late frame (two frames in one chunk on a busy machine) still leaves the product time to settle.
    const Session session = runSession({"--count", "12", "--rate", "25", "--products-per-minute", "60", "--mean", "15",
                                        "--sd", "1.5", "--seed", "7", "--ramp-ms", "100", "--ring", "0.05"},
                                       kScript, "[算法]\n取样=稳定\n");
    const auto products = events(session.simulator, "product");
    ASSERT_EQ(products.size(), 12u);
    const auto verdicts = events(session.monitor, "record");
    ASSERT_EQ(verdicts.size(), products.size());
    for (std::size_t n = 0; n < products.size(); ++n) {
        EXPECT_NEAR(verdicts[n]["weight"].toString().toDouble(), products[n]["weight"].toDouble(), 0.01)
            << "product " << n + 1;
    }
    EXPECT_EQ(session.storedRows.size(), products.size());
    EXPECT_EQ(records(replay(session)), records(session.monitor));
}

TEST(Monitor, RefusesBadArgumentsAndAPortThatDoesNotOpen) {
    QProcess monitor;
    monitor.start(tool(), {"monitor", "--seconds", "1"});
    ASSERT_TRUE(monitor.waitForFinished(10000));
    EXPECT_EQ(monitor.exitCode(), 2);
    EXPECT_TRUE(monitor.readAllStandardError().contains("--port"));

    monitor.start(tool(), {"monitor", "--port", "/dev/null", "--db", "/kelvora-no-such-dir/records.db"});
    ASSERT_TRUE(monitor.waitForFinished(10000));
    EXPECT_EQ(monitor.exitCode(), 2);
    EXPECT_TRUE(monitor.readAllStandardError().contains("--db"));

    monitor.start(tool(), {"monitor", "--port", "/dev/kelvora-no-such-port", "--seconds", "1"});
    ASSERT_TRUE(monitor.waitForFinished(10000));
    EXPECT_EQ(monitor.exitCode(), 1);
    const auto errors = events(jsonLines(monitor.readAllStandardOutput()), "error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0]["text"].toString(), QString::fromUtf8("没有打开串口,原因可能是串口被某个程序打开或者不存在."));
}

TEST(Monitor, RecordsTheDatabaseDoesNotTakeWaitInTheJournalBesideIt) {
    test::TempDir dir;
    {
        std::ofstream(dir.file("records.db")); // an empty file: no table `weight`
        std::ofstream(dir.file("script.txt")) << kScript;
    }
    SimulatorPort indicator = SimulatorPort::openPseudoTerminal();
    QProcess monitor;
    monitor.start(tool(), {"monitor", "--port", QString::fromStdString(indicator.stationPath()), "--script",
                           QString::fromStdString(dir.file("script.txt")), "--db",
                           QString::fromStdString(dir.file("records.db")), "--seconds", "30"});
    ASSERT_TRUE(monitor.waitForStarted(5000));
    while (!indicator.stationPresent() && monitor.state() == QProcess::Running) {
        indicator.wait(10'000'000);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500)); // the model selection's frames
    for (double reading : {0.0, 0.0, 20.0, 20.0, 20.0, 20.0, 20.0, 0.0, 0.0, 18.0, 18.0, 18.0, 18.0, 18.0, 0.0}) {
        const std::string frame = IndicatorFrame::toledo(reading, false);
        indicator.write(frame.data(), frame.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    monitor.terminate();
    ASSERT_TRUE(monitor.waitForFinished(15000));
    EXPECT_EQ(monitor.exitCode(), 1);
    const QByteArray told = monitor.readAllStandardError();
    EXPECT_TRUE(told.contains("2 records wait in the station's journal")) << told.toStdString();
    EXPECT_TRUE(told.contains("数据库离线，")) << told.toStdString();
    // A database away is no error of the weighing.
    const auto trace = jsonLines(monitor.readAllStandardOutput());
    EXPECT_EQ(events(trace, "error").size(), 0u);
    EXPECT_EQ(records(trace), (std::vector<std::string>{"正常 M1 20.000", "正常 M1 20.000"}));
    EXPECT_FALSE(std::ifstream(dir.file("unsaved-records.csv")).good());

    // The journal beside the database holds both rows.
    std::vector<std::string> kept;
    for (const WeighingRecord& row : RecordJournal(QString::fromStdString(dir.file("journal.db"))).rowsAfter(0, 10))
        kept.push_back(row.model + " " + std::to_string(row.weight).substr(0, 5) + " " + row.verdict);
    EXPECT_EQ(kept, (std::vector<std::string>{"M1 20.00 正常", "M1 20.00 正常"}));
}

} // namespace
} // namespace kelvora
