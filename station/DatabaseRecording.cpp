#include "station/DatabaseRecording.h"

#include <exception>
#include <iostream>

namespace kelvora {

DatabaseRecording::DatabaseRecording(const std::string& target, TraceHost& host, std::function<std::string()> timeText)
    : m_target(QString::fromStdString(target)), m_host(host), m_store(openRecordStore(m_target)) {
    // A target that cannot be opened is a mistake to report now, not a day of rows in the CSV file.
    m_store->connection().Open();
    m_recorder = std::make_unique<ProductRecorder>(*m_store,
                                                   [this](const std::string& message) { m_host.reportError(message); });
    m_host.setRecorder(m_recorder.get(), std::move(timeText));
}

DatabaseRecording::~DatabaseRecording() {
    m_host.setRecorder(nullptr, {});
}

std::size_t DatabaseRecording::finish() {
    m_recorder->productOver();
    const std::size_t count = m_recorder->unsaved().size();
    appendUnsavedRecords(m_target, m_recorder->unsaved());
    // Once in the file the rows are kept; a second finish must not append them again.
    m_recorder->forgetUnsaved();
    return count;
}

bool DatabaseRecording::finishAndReport(const std::string& program) {
    const std::string unsavedFile = unsavedRecordsFile(m_target).toStdString();
    try {
        const std::size_t unsaved = finish();
        if (unsaved > 0) {
            std::cerr << program << ": " << unsaved << " records could not be stored; they are in " << unsavedFile
                      << "\n";
        }
        return unsaved == 0;
    } catch (const std::exception& error) {
        std::cerr << program << ": records could not be stored nor kept in " << unsavedFile << ": " << error.what()
                  << "\n";
        return false;
    }
}

} // namespace kelvora
