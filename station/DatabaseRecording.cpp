#include "station/DatabaseRecording.h"

#include "data/TADOConnection.h"

#include <exception>
#include <iostream>

namespace kelvora {

DatabaseRecording::DatabaseRecording(const std::string& target, TraceHost& host, std::function<std::string()> timeText,
                                     const std::string& iniPath)
    : m_host(host) {
    // A target that cannot be opened is a mistake to report now, not a day of rows waiting in the journal.
    const QString where = QString::fromStdString(target);
    TADOConnection(where).Open();
    StationRuntime::RecordingOptions options;
    options.target = where;
    options.iniPath = iniPath;
    options.timeText = std::move(timeText);
    options.reportError = [&host](const std::string& message) { host.reportError(message); };
    host.runtime().startRecording(std::move(options));
}

StationRuntime::FinishReport DatabaseRecording::finish(int waitMs) {
    return m_host.runtime().finishRecording(waitMs);
}

bool DatabaseRecording::finishAndReport(const std::string& program, int waitMs) {
    try {
        const StationRuntime::FinishReport report = finish(waitMs);
        if (report.waiting > 0) {
            std::cerr << program << ": " << report.waiting
                      << " records wait in the station's journal; they are stored at the next start\n";
        }
        if (report.unsavedFile > 0) {
            std::cerr << program << ": " << report.unsavedFile << " records could not be stored; they are in "
                      << report.unsavedPath.toStdString() << "\n";
        }
        return report.waiting == 0 && report.unsavedFile == 0;
    } catch (const std::exception& error) {
        std::cerr << program << ": records could not be stored nor kept in unsaved-records.csv: " << error.what()
                  << "\n";
        return false;
    }
}

} // namespace kelvora
