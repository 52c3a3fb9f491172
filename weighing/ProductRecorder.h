#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kelvora {

/// One stored verdict: a row of the table `weight`.
struct WeighingRecord {
    WeighingRecord() = default;
    WeighingRecord(std::string model, double weight, std::string verdict, std::string operatorName, std::string time)
        : model(std::move(model)), weight(weight), verdict(std::move(verdict)), operatorName(std::move(operatorName)),
          time(std::move(time)) {}

    std::string model;        ///< ComboBox1's text at the verdict
    double weight = 0.0;      ///< the captured weight
    std::string verdict;      ///< "正常", "超高" or "超低"
    std::string operatorName; ///< the operator pane's text; empty outside the window
    std::string time;         ///< local time of the verdict, "YYYY-MM-DD HH:MM:SS"
    /// The standard value and limits in force when the product was judged (Et1, Et2, Et3); none when
    /// the text is not a number.
    std::optional<double> standard;
    std::optional<double> upper;
    std::optional<double> lower;
    std::string lot;      ///< the lot number (批号) entered at Start; empty for none
    std::string station;  ///< the station's name; set by the journal
    std::int64_t seq = 0; ///< the station's sequence number; set by the journal (0: not yet journaled)
    std::string link;     ///< the row's link in the station's chain; set by the journal
};

class StationHost;

/// The row of a verdict the host shows now: model (ComboBox1), weight (Edit2), the limits (Et1..Et3).
WeighingRecord recordOf(const StationHost& host, const std::string& verdict, const std::string& operatorName,
                        const std::string& time);

/// Where rows go. insert() stores and commits one row before it returns, or throws std::exception with
/// a message for the operator.
class RecordStore {
public:
    virtual ~RecordStore() = default;
    virtual void insert(const WeighingRecord& record) = 0;
};

/// Turns the stream of verdicts into the rows of table `weight`. A product is a run of samples above the
/// threshold. Every verdict that lit a lamp is stored: the peak capture may judge a product several
/// times (an out-of-tolerance capture sets no latch, and a product's verdict may come with the next
/// product's first readings), so within one run only the repeats of an out-of-tolerance verdict with the
/// same weight are merged; each "正常" is a row of its own (the "正常" rows equal the count), and no reject
/// is ever replaced by a later verdict. The rows go out when the run is over.
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
    /// The product in progress is over: its rows are queued and all queued rows are written. Without a
    /// verdict since the last call nothing happens.
    void productOver();
    /// Called with each row when it is queued, before it is written (so also when the
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
    std::vector<WeighingRecord> m_current; // the rows of the run in progress
    std::deque<WeighingRecord> m_unsaved;
    bool m_failureReported = false;
};

} // namespace kelvora
