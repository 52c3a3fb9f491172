#include "weighing/ProductRecorder.h"

#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

class MemoryStore : public RecordStore {
public:
    void insert(const WeighingRecord& record) override {
        if (failing) {
            throw std::runtime_error("disk I/O error");
        }
        rows.push_back(record);
    }
    bool failing = false;
    std::vector<WeighingRecord> rows;
};

WeighingRecord verdictOf(const std::string& verdict, double weight) {
    return {"型号A", weight, verdict, "张三", "2026-12-09 08:00:00"};
}

class Recorder : public ::testing::Test {
protected:
    MemoryStore store;
    std::vector<std::string> errors;
    ProductRecorder recorder{store, [this](const std::string& message) { errors.push_back(message); }};
};

} // namespace

TEST_F(Recorder, ARejectIsNeverReplacedByALaterCount) {
    // The peak capture judges a product's peak with the next product's first readings: the reject and
    // the next product's count fall into one run, and both lit a lamp.
    recorder.verdict(verdictOf("超低", 11.0));
    recorder.verdict(verdictOf("正常", 15.0));
    recorder.verdict(verdictOf("超高", 25.0));
    EXPECT_TRUE(store.rows.empty()) << "nothing is written while the product is on the platform";
    recorder.productOver();
    ASSERT_EQ(store.rows.size(), 3u);
    EXPECT_EQ(store.rows[0].verdict, "超低");
    EXPECT_EQ(store.rows[1].verdict, "正常");
    EXPECT_EQ(store.rows[2].weight, 25.0);
}

TEST_F(Recorder, OnlyRepeatsOfTheSameRejectAreMerged) {
    recorder.verdict(verdictOf("超高", 25.0));
    recorder.verdict(verdictOf("超高", 25.0));
    recorder.verdict(verdictOf("超高", 26.0));
    recorder.verdict(verdictOf("超高", 25.0));
    recorder.verdict(verdictOf("超低", 25.0)); // crossed limits: both verdicts of one weight
    recorder.productOver();
    recorder.productOver();
    ASSERT_EQ(store.rows.size(), 3u);
    EXPECT_EQ(store.rows[0].weight, 25.0);
    EXPECT_EQ(store.rows[1].weight, 26.0);
    EXPECT_EQ(store.rows[2].verdict, "超低");
    recorder.verdict(verdictOf("超高", 25.0));
    recorder.productOver();
    EXPECT_EQ(store.rows.size(), 4u) << "the next run's reject of the same weight is a product of its own";
}

TEST_F(Recorder, ASecondCountWithinOneProductGetsARowOfItsOwn) {
    recorder.verdict(verdictOf("正常", 15.0));
    recorder.verdict(verdictOf("正常", 15.5));
    recorder.productOver();
    ASSERT_EQ(store.rows.size(), 2u);
    EXPECT_EQ(store.rows[1].weight, 15.5);
}

TEST_F(Recorder, AFailingInsertLosesNothingAndIsReportedOnce) {
    store.failing = true;
    recorder.verdict(verdictOf("正常", 15.0));
    recorder.productOver();
    recorder.verdict(verdictOf("超高", 25.0));
    recorder.productOver();
    EXPECT_EQ(errors, std::vector<std::string>{"disk I/O error"});
    EXPECT_EQ(recorder.unsaved().size(), 2u);

    store.failing = false;
    recorder.verdict(verdictOf("正常", 16.0));
    recorder.productOver();
    ASSERT_EQ(store.rows.size(), 3u);
    EXPECT_EQ(store.rows[0].weight, 15.0) << "oldest first";
    EXPECT_EQ(store.rows[2].weight, 16.0);
    EXPECT_TRUE(recorder.unsaved().empty());

    store.failing = true;
    recorder.verdict(verdictOf("正常", 17.0));
    recorder.productOver();
    EXPECT_EQ(errors.size(), 2u) << "a new failure after a success is reported again";
}

TEST_F(Recorder, TheListenerHearsEachProductsRowOnceEvenWhenTheInsertFails) {
    std::vector<WeighingRecord> heard;
    recorder.setRowListener([&](const WeighingRecord& row) { heard.push_back(row); });
    store.failing = true;
    recorder.verdict(verdictOf("超低", 0.0));
    recorder.verdict(verdictOf("正常", 15.0));
    recorder.productOver();
    recorder.productOver(); // an empty platform: no product, nothing heard
    store.failing = false;
    recorder.verdict(verdictOf("超高", 25.0));
    recorder.productOver(); // the queued row goes out now, but was heard already
    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0].verdict, "超低");
    EXPECT_EQ(heard[1].verdict, "正常");
    EXPECT_EQ(heard[2].verdict, "超高");
    EXPECT_EQ(store.rows.size(), 3u);
}
