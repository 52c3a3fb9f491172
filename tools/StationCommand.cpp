#include "tools/StationCommand.h"

#include "tools/StationFolder.h"

#include <cstdio>
#include <exception>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

using namespace Qt::StringLiterals;

namespace kelvora {

namespace {

int usage() {
    std::fputs("usage: kelvora-tool station init DIR [--demo] [--port PATH]\n", stderr);
    return 2;
}

// The folder of the running program, without an application object.
QString programDir() {
    return QFileInfo(u"/proc/self/exe"_s).canonicalFilePath().section(u'/', 0, -2);
}

} // namespace

int runStationCommand(int argc, char** argv) {
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args << QString::fromLocal8Bit(argv[i]);
    }
    if (args.isEmpty() || args.takeFirst() != u"init"_s) {
        return usage();
    }
    QString dir;
    QString port;
    bool demo = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == u"--demo"_s) {
            demo = true;
        } else if (args[i] == u"--port"_s && i + 1 < args.size()) {
            port = args[++i];
        } else if (args[i].startsWith(u"--"_s) || !dir.isEmpty()) {
            return usage();
        } else {
            dir = args[i];
        }
    }
    if (dir.isEmpty()) {
        return usage();
    }
    const QString help = StationFolder::installedHelpFile(programDir());
    try {
        StationFolder::initialize(dir, demo, port, QFileInfo::exists(help) ? help : QString());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kelvora-tool station init: %s\n", error.what());
        return 1;
    }
    std::printf("Prepared the station folder %s%s\n", qPrintable(dir), demo ? " with demo models" : "");
    if (!QFileInfo::exists(help)) {
        std::fprintf(stderr, "kelvora-tool station init: no help file at %s; the folder has none\n", qPrintable(help));
    }
    return 0;
}

} // namespace kelvora
