#include "tools/DbCommand.h"
#include "tools/MonitorCommand.h"
#include "tools/ReplayCommand.h"
#include "tools/ReportCommand.h"
#include "tools/SimulateCommand.h"
#include "tools/StationCommand.h"

#include <cstring>
#include <iostream>

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

const Command kCommands[] = {
    {"replay", kelvora::runReplayCommand, "run the weighing core on a station script and print its trace"},
    {"simulate", kelvora::runSimulateCommand, "an indicator on a pseudo-terminal, with products passing"},
    {"monitor", kelvora::runMonitorCommand, "the live station on a serial port, with its trace"},
    {"db", kelvora::runDbCommand, "create a station database or import an Access file"},
    {"station", kelvora::runStationCommand, "prepare a station folder (database, Option.ini, Backup/, help)"},
    {"report", kelvora::runReportCommand, "the figures of a time range, as a PDF shift report and a CSV"},
};

void printUsage() {
    std::cerr << "usage: kelvora-tool COMMAND [ARGS]\ncommands:\n";
    for (const Command& command : kCommands) {
        std::cerr << "  " << command.name << "  " << command.summary << "\n";
    }
}

} // namespace

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    if (argc >= 2) {
        for (const Command& command : kCommands) {
            if (std::strcmp(argv[1], command.name) == 0) {
                return command.run(argc - 1, argv + 1);
            }
        }
    }
    printUsage();
    return 2;
}
