#include "tools/ReplayCommand.h"

#include "station/DatabaseRecording.h"
#include "station/ReplayHost.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include <QCoreApplication>
#include <QDateTime>

namespace kelvora {

namespace {

struct ReplayOptions {
    std::string iniPath;
    std::string scriptPath;
    std::string dbTarget;
    bool summary = false;
};

const char* const kUsage = "usage: kelvora-tool replay [--ini FILE] [--db TARGET] [--summary] SCRIPT\n";

bool parseOptions(int argc, char** argv, ReplayOptions& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--ini" && i + 1 < argc) {
            options.iniPath = argv[++i];
        } else if (arg == "--db" && i + 1 < argc) {
            options.dbTarget = argv[++i];
        } else if (arg == "--summary") {
            options.summary = true;
        } else if (arg.rfind("--", 0) == 0 || !options.scriptPath.empty()) {
            return false;
        } else {
            options.scriptPath = arg;
        }
    }
    return !options.scriptPath.empty();
}

std::string clockText(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return text;
}

void printSummary(const std::string& scriptPath, const ReplaySummary& summary) {
    auto verdicts = [&](const char* verdict) {
        auto found = summary.verdicts.find(verdict);
        return found == summary.verdicts.end() ? 0 : found->second;
    };
    std::cout << "Kelvora replay of " << scriptPath << "\n"
              << "  chunks received     " << summary.chunks << "\n"
              << "  products counted    " << verdicts("正常") << "  (正常)\n"
              << "  over the limit      " << verdicts("超高") << "  (超高 verdicts)\n"
              << "  under the limit     " << verdicts("超低") << "  (超低 verdicts)\n"
              << "  frames sent         " << summary.framesSent << "  (17 bytes each)\n"
              << "  frames not sent     " << summary.framesDropped << "  (port closed)\n"
              << "  disturbances        " << summary.glitches << "  (runs of readings that were no product)\n"
              << "  errors shown        " << summary.errors << "\n"
              << "  shift length        " << clockText(summary.endTime) << "\n";
}

// The verdicts stored with the virtual time added to the moment the replay started; nothing when the
// database cannot be opened (the reason is on standard error).
std::unique_ptr<DatabaseRecording> openRecording(const std::string& target, ReplayHost& host,
                                                 const std::string& iniPath) {
    const QDateTime start = QDateTime::currentDateTime();
    try {
        return std::make_unique<DatabaseRecording>(
            target, host,
            [&host, start] {
                return start.addMSecs(host.virtualTime()).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toStdString();
            },
            iniPath);
    } catch (const std::exception& error) {
        std::cerr << "kelvora-tool replay: " << error.what() << "\n";
        return nullptr;
    }
}

} // namespace

int runReplayCommand(int argc, char** argv) {
    ReplayOptions options;
    if (!parseOptions(argc, argv, options)) {
        std::cerr << kUsage;
        return 2;
    }
    std::ifstream scriptFile(options.scriptPath, std::ios::binary);
    if (!scriptFile) {
        std::cerr << "kelvora-tool replay: cannot read " << options.scriptPath << "\n";
        return 2;
    }
    std::ostream discarded(nullptr); // with --summary the trace goes nowhere
    ReplayHost host(options.summary ? discarded : std::cout);
    host.runtime().load(options.iniPath);
    std::unique_ptr<QCoreApplication> application;
    std::unique_ptr<DatabaseRecording> recording;
    if (!options.dbTarget.empty()) {
        application = std::make_unique<QCoreApplication>(argc, argv);
        recording = openRecording(options.dbTarget, host, options.iniPath);
        if (!recording) {
            return 2;
        }
    }
    StationScript script(scriptFile);
    int status = 0;
    try {
        host.run(script);
    } catch (const ScriptError& error) {
        std::cout.flush();
        std::cerr << "kelvora-tool replay: " << options.scriptPath << ": " << error.what() << "\n";
        status = 2;
    }
    if (recording && !recording->finishAndReport("kelvora-tool replay") && status == 0) {
        status = 1;
    }
    if (options.summary && status == 0) {
        printSummary(options.scriptPath, host.summary());
    }
    return status;
}

} // namespace kelvora
