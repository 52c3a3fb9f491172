#pragma once

#include "feed/VerdictJournal.h"

#include <memory>

#include <QString>

namespace kelvora {

class RecordJournal;

/// The feed's view of the station's journal (journal.db): a handle of its own, opened at the first call
/// on the feed's thread (a journal handle belongs to one thread), and the cursor "mqtt" as the last
/// verdict the broker acknowledged.
class JournalFeedSource : public VerdictJournal {
public:
    static constexpr const char* kConsumer = "mqtt";

    explicit JournalFeedSource(QString path);
    ~JournalFeedSource() override;

    std::vector<WeighingRecord> rowsAfter(std::int64_t seq, std::size_t limit) override;
    /// Nothing while the cursor was never set (the journal keeps 0 for that).
    std::optional<std::int64_t> publishedUpTo() override;
    std::int64_t lastSeq() override;
    void setPublishedUpTo(std::int64_t seq) override;

private:
    RecordJournal& journal();

    QString m_path;
    std::unique_ptr<RecordJournal> m_journal;
};

} // namespace kelvora
