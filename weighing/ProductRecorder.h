#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace kelvora {

/// One stored verdict: a row of the table `weight`.
struct WeighingRecord {
    std::string model;        ///< ComboBox1's text at the verdict
    double weight = 0.0;      ///< the captured weight
    std::string verdict;      ///< "正常", "超高" or "超低"
    std::string operatorName; ///< the operator pane's text; empty outside the window
    std::string time;         ///< local time of the verdict, "YYYY-MM-DD HH:MM:SS"
};

/// Where rows go. insert() stores and commits one row before it returns, or throws std::exception with
/// a message for the operator.
class RecordStore {
public:
    virtual ~RecordStore() = default;
    virtual void insert(const WeighingRecord& record) = 0;
};

/// Turns the stream of verdicts into one row per product. A product is a run of samples above the
/// threshold; the core may judge it several times (an out-of-tolerance capture sets no latch), so the
/// row is written when the product is over: the counted "正常" verdict if there was one, otherwise the
/// last out-of-tolerance verdict. A second "正常" within one product (the batch values failed to convert
/// and the latch stayed open) closes the first product's row, so the "正常" rows always equal the count.
///
/// A failing insert loses nothing: the row stays queued, the failure is reported once (until an insert
/// succeeds again) and the weighing goes on; queued rows go out, oldest first, with the next write.
class ProductRecorder {
public:
    using ErrorReporter = std::function<void(const std::string& message)>;
    using RowListener = std::function<void(const WeighingRecord& row)>;

    ProductRecorder(RecordStore& store, ErrorReporter reportError);

    /// A verdict of the product in progress.
    void verdict(const WeighingRecord& record);
    /// The product in progress is over: its row is queued and all queued rows are written. Without a
    /// product in progress nothing happens.
    void productOver();
    /// Called with each product's row when the row is queued, before it is written (so also when the
    /// insert fails); nullptr for none.
    void setRowListener(RowListener listener) { m_rowListener = std::move(listener); }
    /// Rows not yet stored (after the last failure), oldest first.
    const std::deque<WeighingRecord>& unsaved() const { return m_unsaved; }
    /// The caller has kept the unsaved rows elsewhere (a file): they leave the queue.
    void forgetUnsaved() { m_unsaved.clear(); }

private:
    void flush();

    RecordStore& m_store;
    ErrorReporter m_reportError;
    RowListener m_rowListener;
    std::optional<WeighingRecord> m_current;
    std::deque<WeighingRecord> m_unsaved;
    bool m_failureReported = false;
};

} // namespace kelvora
