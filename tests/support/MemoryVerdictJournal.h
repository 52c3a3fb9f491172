#pragma once

#include "feed/VerdictJournal.h"

#include <algorithm>
#include <mutex>
#include <stdexcept>

namespace kelvora::test {

/// A journal in memory, safe to append to from the test while the feed reads from its thread; it can be
/// made to fail like a journal whose file cannot be read.
class MemoryVerdictJournal : public VerdictJournal {
public:
    /// Appends a verdict with the next sequence number and returns it.
    WeighingRecord append(WeighingRecord verdict) {
        const std::lock_guard lock(m_mutex);
        verdict.seq = static_cast<std::int64_t>(m_rows.size()) + 1;
        m_rows.push_back(verdict);
        return verdict;
    }
    void setFailing(bool failing) {
        const std::lock_guard lock(m_mutex);
        m_failing = failing;
    }

    std::vector<WeighingRecord> rowsAfter(std::int64_t seq, std::size_t limit) override {
        const std::lock_guard lock(m_mutex);
        fail();
        std::vector<WeighingRecord> rows;
        for (auto i = static_cast<std::size_t>(std::max<std::int64_t>(seq, 0));
             i < m_rows.size() && rows.size() < limit; ++i) {
            rows.push_back(m_rows[i]);
        }
        return rows;
    }
    std::optional<std::int64_t> publishedUpTo() override {
        const std::lock_guard lock(m_mutex);
        fail();
        return m_published;
    }
    std::int64_t lastSeq() override {
        const std::lock_guard lock(m_mutex);
        return static_cast<std::int64_t>(m_rows.size());
    }
    void setPublishedUpTo(std::int64_t seq) override {
        const std::lock_guard lock(m_mutex);
        fail();
        m_published = seq;
    }

private:
    void fail() const {
        if (m_failing) {
            throw std::runtime_error("journal.db: disk I/O error");
        }
    }

    std::mutex m_mutex;
    std::vector<WeighingRecord> m_rows;
    std::optional<std::int64_t> m_published;
    bool m_failing = false;
};

} // namespace kelvora::test
