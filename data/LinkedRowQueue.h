#pragma once

#include "data/LinkedRowReader.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kelvora {

/// Batches of linked rows handed from the thread that reads them to the thread that checks them, and back
/// for reuse: a fixed number of batches, so the reader is held up while the checker is behind and memory
/// stays bounded. Either side may stop the other after a failure.
class LinkedRowQueue {
public:
    struct Batch {
        /// A station's first row: its index in the batch, and the link and 序号 of the station's row before it
        /// (none at the start of a chain).
        struct StationStart {
            std::size_t row;
            std::string previousLink;
            std::optional<double> previousNumber;
        };
        std::vector<LinkedRow> rows; ///< rows.size() slots, of which the first `count` are filled
        std::size_t count = 0;
        std::vector<StationStart> starts;
    };

    LinkedRowQueue(std::size_t batches, std::size_t rowsPerBatch);

    /// An empty batch to fill; waits for one; null once aborted.
    std::unique_ptr<Batch> takeFree();
    /// The next filled batch in the order given; waits for one; null once the reader finished and every
    /// batch was taken, or once aborted.
    std::unique_ptr<Batch> takeFilled();
    void giveFilled(std::unique_ptr<Batch> batch);
    /// Returns a checked batch for reuse (emptied).
    void giveBack(std::unique_ptr<Batch> batch);
    /// The reader has no more rows.
    void finish();
    /// Stops both sides.
    void abort();

private:
    std::unique_ptr<Batch> take(std::deque<std::unique_ptr<Batch>>& from);
    void give(std::deque<std::unique_ptr<Batch>>& to, std::unique_ptr<Batch> batch);
    void stop(bool& flag);

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::unique_ptr<Batch>> m_free;
    std::deque<std::unique_ptr<Batch>> m_filled;
    bool m_finished = false;
    bool m_aborted = false;
};

} // namespace kelvora
