#include "weighing/ProductRecorder.h"

#include <exception>

namespace kelvora {

namespace {
const std::string kCounted = "正常";
}

ProductRecorder::ProductRecorder(RecordStore& store, ErrorReporter reportError)
    : m_store(store), m_reportError(std::move(reportError)) {}

void ProductRecorder::verdict(const WeighingRecord& record) {
    if (m_current && m_current->verdict == kCounted) {
        if (record.verdict != kCounted) {
            return; // the counted verdict stands for the product
        }
        productOver(); // counted twice: each count keeps a row of its own
    }
    m_current = record;
}

void ProductRecorder::productOver() {
    // Rows waiting after a failure go out with the next row, not at every sample of an empty platform.
    if (m_current) {
        m_unsaved.push_back(std::move(*m_current));
        m_current.reset();
        if (m_rowListener)
            m_rowListener(m_unsaved.back());
        flush();
    }
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
