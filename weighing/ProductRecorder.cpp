#include "weighing/ProductRecorder.h"

#include "weighing/NumberText.h"
#include "weighing/StationHost.h"

#include <exception>

namespace kelvora {

namespace {
const std::string kCounted = "正常";
}

namespace {

std::optional<double> limit(const StationHost& host, Control control) {
    return NumberText::parseFloat(host.text(control));
}

} // namespace

WeighingRecord recordOf(const StationHost& host, const std::string& verdict, const std::string& operatorName,
                        const std::string& time) {
    WeighingRecord record;
    record.model = host.text(Control::ComboBox1);
    record.weight = NumberText::toFloat(host.text(Control::Edit2));
    record.verdict = verdict;
    record.operatorName = operatorName;
    record.time = time;
    record.standard = limit(host, Control::Et1);
    record.upper = limit(host, Control::Et2);
    record.lower = limit(host, Control::Et3);
    return record;
}

ProductRecorder::ProductRecorder(RecordStore& store, ErrorReporter reportError)
    : m_store(store), m_reportError(std::move(reportError)) {}

void ProductRecorder::verdict(const WeighingRecord& record) {
    if (record.verdict != kCounted) {
        for (const WeighingRecord& row : m_current) {
            if (row.verdict == record.verdict && row.weight == record.weight) {
                return; // the same capture judged again on a level stretch
            }
        }
    }
    m_current.push_back(record);
}

void ProductRecorder::productOver() {
    // Rows waiting after a failure go out with the next row, not at every sample of an empty platform.
    if (m_current.empty()) {
        return;
    }
    for (WeighingRecord& row : m_current) {
        m_unsaved.push_back(std::move(row));
        if (m_rowListener)
            m_rowListener(m_unsaved.back());
    }
    m_current.clear();
    flush();
}

void ProductRecorder::flush() {
    while (!m_unsaved.empty()) {
        try {
            m_store.insert(m_unsaved.front());
        } catch (const std::exception& error) {
            if (!m_failureReported) {
                m_failureReported = true;
                m_reportError(error.what());
            }
            return;
        }
        m_unsaved.pop_front();
        m_failureReported = false;
    }
}

} // namespace kelvora
