#include "app/StationApplication.h"

#include "app/ScriptRunner.h"
#include "app/Unit1.h"
#include "ui/FontMapping.h"

#include <fstream>
#include <iostream>
#include <memory>

#include <QDir>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {
const char* const kUsage = "usage: kelvora [--dir DIR] [--port PATH] [--script FILE [--trace] [--virtual-clock]]\n";
} // namespace

StationApplication::StationApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // The application title: the task-bar entry and the standard error box.
    setApplicationName(u"Weight"_s);
    FontMapping::install();
}

bool StationApplication::parseOptions(const QStringList& arguments, StationOptions& options) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments.at(i);
        const bool hasValue = i + 1 < arguments.size();
        if (arg == u"--dir"_s && hasValue) {
            options.stationDir = arguments.at(++i);
        } else if (arg == u"--script"_s && hasValue) {
            options.scriptPath = arguments.at(++i);
        } else if (arg == u"--port"_s && hasValue) {
            options.portName = arguments.at(++i);
        } else if (arg == u"--trace"_s) {
            options.trace = true;
        } else if (arg == u"--virtual-clock"_s) {
            options.virtualClock = true;
        } else {
            std::cerr << kUsage;
            return false;
        }
    }
    if ((options.trace || options.virtualClock) && options.scriptPath.isEmpty()) {
        std::cerr << "kelvora: --trace and --virtual-clock belong to --script\n" << kUsage;
        return false;
    }
    return true;
}

int StationApplication::run() {
    StationOptions options;
    if (!parseOptions(arguments().mid(1), options)) {
        return 2;
    }
    std::ifstream scriptFile;
    if (!options.scriptPath.isEmpty()) {
        scriptFile.open(options.scriptPath.toStdString(), std::ios::binary);
        if (!scriptFile) {
            std::cerr << "kelvora: cannot read " << options.scriptPath.toStdString() << "\n";
            return 2;
        }
    }
    // The script is named from where the program was started; the station folder is entered afterwards.
    if (!options.stationDir.isEmpty() && !QDir::setCurrent(options.stationDir)) {
        std::cerr << "kelvora: no station folder " << options.stationDir.toStdString() << "\n";
        return 2;
    }
    const bool scripted = scriptFile.is_open();
    TForm1::Options windowOptions;
    windowOptions.virtualClock = options.virtualClock;
    windowOptions.virtualPort = scripted && options.portName.isEmpty();
    windowOptions.portName = options.portName;

    std::unique_ptr<ScriptRunner> runner;
    if (scripted) {
        runner = std::make_unique<ScriptRunner>(scriptFile, options.trace ? &std::cout : nullptr);
        windowOptions.trace = runner->trace();
    }
    // Script mode answers every box from the window's creation on.
    TForm1 form(windowOptions);
    if (runner) {
        runner->attach(form);
    }
    form.showMaximized();
    if (runner) {
        runner->start();
    }
    const int status = exec();
    return runner ? runner->status(status) : status;
}

} // namespace kelvora
