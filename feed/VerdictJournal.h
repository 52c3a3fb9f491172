#pragma once

#include "weighing/ProductRecorder.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kelvora {

/// What the feed reads the verdicts from, and where it keeps how far it has published. Called from the
/// feed's own thread while the station appends from another.
class VerdictJournal {
public:
    virtual ~VerdictJournal() = default;
    /// Up to limit verdicts with a sequence number above seq, oldest first (seq, station, limits and lot set).
    virtual std::vector<WeighingRecord> rowsAfter(std::int64_t seq, std::size_t limit) = 0;
    /// The last sequence number the broker acknowledged; nothing when the feed has never published from
    /// this journal (it then starts after the newest verdict, not with the station's history).
    virtual std::optional<std::int64_t> publishedUpTo() = 0;
    /// The sequence number of the newest verdict; 0 for an empty journal.
    virtual std::int64_t lastSeq() = 0;
    /// Keeps seq as the last acknowledged verdict; throws when it cannot.
    virtual void setPublishedUpTo(std::int64_t seq) = 0;
};

} // namespace kelvora
