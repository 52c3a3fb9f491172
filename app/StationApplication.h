#pragma once

#include <QApplication>
#include <QString>

namespace kelvora {

/// What the command line asks of the station program.
struct StationOptions {
    QString stationDir; ///< --dir: the station folder; empty: the working directory
    QString scriptPath; ///< --script: run the window unattended from this script
    QString portName;   ///< --port: the serial device, replacing Option.ini's
    bool trace = false; ///< --trace: the trace on standard output
    bool virtualClock = false;
};

/// The station program's application object: the title "Weight", the font mapping, the station folder,
/// the main window maximised, and the unattended script mode.
class StationApplication : public QApplication {
    Q_OBJECT
public:
    StationApplication(int& argc, char** argv);

    /// Reads the options (argv without the program name); false with a message on standard error for a
    /// command line it cannot use.
    static bool parseOptions(const QStringList& arguments, StationOptions& options);

    /// Runs the station to its end; the process's exit status. A folder with neither database.mdb nor
    /// Option.ini is refused with a box, untouched and with status 1.
    int run();
};

} // namespace kelvora
