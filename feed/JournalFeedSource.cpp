#include "feed/JournalFeedSource.h"

#include "data/RecordJournal.h"

namespace kelvora {

JournalFeedSource::JournalFeedSource(QString path) : m_path(std::move(path)) {}

JournalFeedSource::~JournalFeedSource() = default;

RecordJournal& JournalFeedSource::journal() {
    if (!m_journal) {
        m_journal = std::make_unique<RecordJournal>(m_path);
    }
    return *m_journal;
}

std::vector<WeighingRecord> JournalFeedSource::rowsAfter(std::int64_t seq, std::size_t limit) {
    return journal().rowsAfter(seq, limit);
}

std::optional<std::int64_t> JournalFeedSource::publishedUpTo() {
    const std::int64_t seq = journal().cursor(kConsumer);
    return seq == 0 ? std::nullopt : std::optional(seq);
}

std::int64_t JournalFeedSource::lastSeq() {
    return journal().lastSeq();
}

void JournalFeedSource::setPublishedUpTo(std::int64_t seq) {
    journal().setCursor(kConsumer, seq);
}

} // namespace kelvora
