#include "tools/MonitorCommand.h"

#include "data/WeightRecordStore.h"
#include "feed/StationPublisher.h"
#include "station/DatabaseRecording.h"
#include "station/MonitorHost.h"
#include "station/StationScript.h"
#include "station/StopSignals.h"
#include "tools/CommandArguments.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

#include <QCoreApplication>
#include <QDateTime>
#include <QTimer>

namespace kelvora {

namespace {

constexpr const char* kUsage =
    "usage: kelvora-tool monitor --port PATH [--ini FILE] [--script FILE] [--record FILE] [--seconds N]\n"
    "           [--db TARGET]\n"
    "  TARGET: an SQLite file or a connection string; each product's record is stored there.\n";

struct MonitorOptions {
    std::string port;
    std::string ini;
    std::string record;
    std::optional<std::string> db;
    std::vector<ScriptCommand> script;
    std::optional<double> seconds;
};

std::vector<ScriptCommand> readScript(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::invalid_argument("cannot read " + path);
    }
    StationScript script(file);
    std::vector<ScriptCommand> commands;
    try {
        while (std::optional<ScriptCommand> command = script.next()) {
            commands.push_back(std::move(*command));
        }
    } catch (const ScriptError& error) {
        throw std::invalid_argument(path + ": " + error.what());
    }
    return commands;
}

MonitorOptions parseOptions(int argc, char** argv) {
    const CommandArguments arguments(argc, argv, {"port", "ini", "script", "record", "seconds", "db"});
    MonitorOptions options;
    options.port = arguments.text("port", "");
    if (options.port.empty()) {
        throw std::invalid_argument("--port is required");
    }
    if (arguments.has("db")) {
        options.db = arguments.text("db", "");
    }
    options.ini = arguments.text("ini", "");
    options.record = arguments.text("record", "");
    if (arguments.has("seconds")) {
        options.seconds = arguments.number("seconds", 0);
        if (*options.seconds <= 0 || *options.seconds > std::numeric_limits<int>::max() / 1000) {
            throw std::invalid_argument("--seconds must be a positive number of seconds");
        }
    }
    if (arguments.has("script")) {
        options.script = readScript(arguments.text("script", ""));
    }
    return options;
}

/// Applies the script's lines at their times, one timer at a time, in order.
class ScriptPlayer {
public:
    ScriptPlayer(MonitorHost& host, const std::vector<ScriptCommand>& script, std::function<void()> onClose)
        : m_host(host), m_script(script), m_onClose(std::move(onClose)) {
        m_timer.setSingleShot(true);
        m_timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { playDue(); });
        scheduleNext();
    }

private:
    void scheduleNext() {
        if (m_next < m_script.size()) {
            const std::int64_t wait = m_script[m_next].time - m_host.elapsed();
            m_timer.start(static_cast<int>(std::max<std::int64_t>(wait, 0)));
        }
    }
    void playDue() {
        while (m_next < m_script.size() && m_script[m_next].time <= m_host.elapsed()) {
            const ScriptCommand& command = m_script[m_next++];
            m_host.applyCommand(command);
            if (command.verb == ScriptVerb::Close) {
                m_onClose();
                return;
            }
        }
        scheduleNext();
    }

    MonitorHost& m_host;
    const std::vector<ScriptCommand>& m_script;
    std::function<void()> m_onClose;
    std::size_t m_next = 0;
    QTimer m_timer;
};

} // namespace

int runMonitorCommand(int argc, char** argv) {
    MonitorOptions options;
    try {
        options = parseOptions(argc, argv);
    } catch (const std::invalid_argument& error) {
        std::cerr << "monitor: " << error.what() << "\n" << kUsage;
        return 2;
    }
    std::ofstream recordFile;
    if (!options.record.empty()) {
        recordFile.open(options.record, std::ios::binary | std::ios::trunc);
        if (!recordFile) {
            std::cerr << "monitor: cannot write " << options.record << "\n";
            return 1;
        }
    }
    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QCoreApplication application(qtArgc, qtArgv);
    std::cout << std::unitbuf; // each trace line leaves at once

    MonitorHost host(std::cout, options.record.empty() ? nullptr : &recordFile);
    std::unique_ptr<DatabaseRecording> database;
    if (options.db) {
        try {
            database = std::make_unique<DatabaseRecording>(
                *options.db, host,
                [] {
                    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
                },
                options.ini);
        } catch (const std::exception& error) {
            std::cerr << "monitor: --db: " << error.what() << "\n";
            return 2;
        }
    }
    host.recordComment("kelvora-tool monitor on " + options.port + "; replay with: kelvora-tool replay" +
                       (options.ini.empty() ? "" : " --ini " + options.ini) + " " + options.record);
    host.runtime().load(options.ini);
    host.configurePort(options.port);
    if (!host.openAtStart()) {
        std::cerr << "monitor: cannot open " << options.port << "\n";
        return 1;
    }
    StopSignals stopSignals([] { QCoreApplication::quit(); });
    QTimer databaseWatch;
    bool databaseOnline = true;
    if (database) {
        // The database's state on standard error when it changes; the rows wait in the journal meanwhile.
        QObject::connect(&databaseWatch, &QTimer::timeout, [&host, &databaseOnline] {
            const RecordingStatus status = host.runtime().recordingStatus();
            if (status.online != databaseOnline) {
                databaseOnline = status.online;
                std::cerr << "monitor: "
                          << (status.online ? std::string("数据库已恢复") : status.offlineText() + "：" + status.reason)
                          << "\n";
            }
        });
        databaseWatch.start(1000);
    }
    // The live feed over MQTT when [MQTT] Host is set: it publishes from the journal, so it needs --db.
    std::unique_ptr<StationPublisher> publisher;
    if (database) {
        publisher = StationPublisher::start(
            host.runtime(), host, options.ini, journalFileFor(QString::fromStdString(*options.db)),
            [&host] { return host.buttonEnabled(Button::BtnSetTabs); },
            [](const std::string& error) { std::cerr << "monitor: " << error << "\n"; });
    }
    ScriptPlayer player(host, options.script, [] { QCoreApplication::quit(); });
    if (options.seconds) {
        QTimer::singleShot(static_cast<int>(*options.seconds * 1000), Qt::PreciseTimer,
                           [] { QCoreApplication::quit(); });
    }
    application.exec();
    host.finish();
    if (database && !database->finishAndReport("monitor")) {
        return 1;
    }
    if (recordFile.is_open() && !recordFile) {
        std::cerr << "monitor: writing " << options.record << " failed\n";
        return 1;
    }
    return 0;
}

} // namespace kelvora
