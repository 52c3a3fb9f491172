#include "app/StationApplication.h"

#include "app/ScriptRunner.h"
#include "app/Unit1.h"
#include "data/ConnectionTarget.h"
#include "station/StopSignals.h"
#include "ui/FontMapping.h"
#include "ui/MessageBox.h"

#include <fstream>
#include <iostream>
#include <memory>

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {
const char* const kUsage = "usage: kelvora [--dir DIR] [--port PATH] [--script FILE [--trace] [--virtual-clock]]\n";

// A folder with neither the database nor Option.ini is no station folder (a station's settings may name a
// database elsewhere; without them it is database.mdb).
bool isStationFolder() {
    return QFileInfo::exists(QDir::current().absoluteFilePath(u"Option.ini"_s)) ||
           QFileInfo::exists(resolveCaseBlind(u"database.mdb"_s));
}

// Says so, in a box (traced and answered in script mode) and on standard error. Nothing is written: the
// window, which writes Option.ini at its close, does not open.
void refuseFolder() {
    const QString folder = QDir::toNativeSeparators(QDir::currentPath());
    std::cerr << "kelvora: " << folder.toStdString()
              << " is no station folder (neither database.mdb nor Option.ini); prepare one with"
                 " kelvora-tool station init DIR\n";
    MessageBox::Request request;
    request.title = u"提示"_s;
    request.text =
        u"文件夹“%1”不是工作站文件夹：其中既没有数据库 database.mdb，也没有设置文件 Option.ini。\n"
        u"请用命令“kelvora-tool station init 目录”准备工作站文件夹，再用“kelvora --dir 目录”启动。"_s.arg(folder);
    request.icon = QMessageBox::Warning;
    MessageBox::show(nullptr, request);
}
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
    if (!isStationFolder()) {
        refuseFolder();
        return 1;
    }
    // Script mode answers every box from the window's creation on.
    TForm1 form(windowOptions);
    if (form.ADO1.Connected()) // without its database the station has no rights editor to prepare
        form.createForm2();
    if (runner) {
        runner->attach(form);
    }
    form.showMaximized();
    if (runner) {
        runner->start();
    }
    // Told to end by the system (shutdown, a service manager, a lost terminal): the close steps still
    // run, so the count is saved and the last frame sent.
    const StopSignals stopSignals([&form] { form.closeWithoutConfirmation(); });
    const int status = exec();
    return runner ? runner->status(status) : status;
}

} // namespace kelvora
