#include "weighing/FrameAssembler.h"

#include "simulator/IndicatorFrame.h"
#include "weighing/IndicatorFamilies.h"

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

using namespace kelvora;

namespace {

// What the assembler found, one line each: "12.345 S" (value, S stable / M motion / - not said),
// "over", "under", or "bad <reason>".
class Collect : public FrameSink {
public:
    void reading(const IndicatorReading& r) override {
        if (r.state != ReadingState::Weight) {
            seen.push_back(r.state == ReadingState::Overload ? "over" : "under");
            return;
        }
        char text[64];
        std::snprintf(text, sizeof text, "%.4f %c", r.value, !r.stable ? '-' : *r.stable ? 'S' : 'M');
        seen.push_back(text);
    }
    void badFrame(std::string_view reason) override { seen.push_back("bad " + std::string(reason)); }
    std::vector<std::string> seen;
};

constexpr IndicatorKind kKinds[] = {IndicatorKind::Toledo,         IndicatorKind::ToledoPlain, IndicatorKind::Yaohua,
                                    IndicatorKind::YaohuaReversed, IndicatorKind::AsciiLine,   IndicatorKind::Sics};

std::string stream(IndicatorKind kind, int frames) {
    std::string bytes;
    for (int i = 0; i < frames; ++i) {
        bytes += IndicatorFrame::make(kind, (i * 37 % 23) - 4.5, i % 3 == 0);
    }
    return bytes;
}

std::vector<std::string> readAll(IndicatorKind kind, const std::vector<std::string>& reads) {
    FrameAssembler assembler(IndicatorFamilies::format(IndicatorFrame::id(kind)));
    Collect sink;
    for (const std::string& read : reads) {
        assembler.feed(read, sink);
    }
    return sink.seen;
}

std::vector<std::string> toledoReads(const std::string& between) {
    return {IndicatorFrame::toledo(12.0, false) + between + IndicatorFrame::toledo(13.0, false)};
}

} // namespace

TEST(FrameAssembler, AnySplitOfAValidStreamGivesTheSameReadings) {
    std::mt19937 random(7);
    for (IndicatorKind kind : kKinds) {
        SCOPED_TRACE(std::string(IndicatorFrame::id(kind)));
        const std::string bytes = stream(kind, 12);
        const std::vector<std::string> whole = readAll(kind, {bytes});
        ASSERT_EQ(whole.size(), 12U);
        // Every single cut, then reads of random sizes down to one byte.
        for (std::size_t cut = 1; cut < bytes.size(); ++cut) {
            ASSERT_EQ(readAll(kind, {bytes.substr(0, cut), bytes.substr(cut)}), whole) << "cut at " << cut;
        }
        for (int trial = 0; trial < 200; ++trial) {
            std::vector<std::string> reads;
            const std::size_t largest = 1 + random() % 40;
            for (std::size_t at = 0; at < bytes.size();) {
                const std::size_t size = 1 + random() % largest;
                reads.push_back(bytes.substr(at, size));
                at += size;
            }
            ASSERT_EQ(readAll(kind, reads), whole) << "trial " << trial;
        }
    }
}

TEST(FrameAssembler, AFrameCutShortIsOneBadFrameAndTheNextIsRead) {
    // The first four bytes of a frame, then the line carries on with whole frames.
    const std::string cut = IndicatorFrame::toledo(250.0, false).substr(0, 4);
    EXPECT_EQ(readAll(IndicatorKind::Toledo, toledoReads(cut)),
              (std::vector<std::string>{"12.0000 S", "bad no CR at the frame's end", "13.0000 S"}));
    // The same cut at every length, for a format whose frames end with ETX.
    for (std::size_t keep = 1; keep < 12; ++keep) {
        const std::string part = IndicatorFrame::yaohua(99.9).substr(0, keep);
        const auto seen =
            readAll(IndicatorKind::Yaohua, {IndicatorFrame::yaohua(1.0) + part + IndicatorFrame::yaohua(2.0)});
        ASSERT_EQ(seen.size(), 3U) << keep;
        EXPECT_EQ(seen.front(), "1.0000 -");
        EXPECT_EQ(seen[1].substr(0, 4), "bad ");
        EXPECT_EQ(seen.back(), "2.0000 -");
    }
}

TEST(FrameAssembler, GarbageBetweenFramesIsCountedOnceAndNeverRead) {
    EXPECT_EQ(readAll(IndicatorKind::Toledo, toledoReads("\xFF\x7Fnoise 12345")),
              (std::vector<std::string>{"12.0000 S", "bad stray bytes", "13.0000 S"}));
    // Text lines: a line of garbage is one bad frame.
    EXPECT_EQ(readAll(IndicatorKind::AsciiLine, {"ST,GS,+0001.000kg\r\n#~garbage\r\nST,GS,+0002.000kg\r\n"}),
              (std::vector<std::string>{"1.0000 S", "bad line layout", "2.0000 S"}));
}

TEST(FrameAssembler, NoiseInsideAFrameLosesThatFrameOnly) {
    std::string damaged = IndicatorFrame::toledo(40.0, false);
    damaged[6] = '\x02'; // a burst that even looks like a start
    damaged[8] = '\x7E';
    const auto seen = readAll(IndicatorKind::Toledo, toledoReads(damaged));
    EXPECT_EQ(seen.front(), "12.0000 S");
    EXPECT_EQ(seen.back(), "13.0000 S");
    for (std::size_t i = 1; i + 1 < seen.size(); ++i) {
        EXPECT_EQ(seen[i].substr(0, 4), "bad ") << seen[i];
    }
}

TEST(FrameAssembler, AStreamJoinedInTheMiddleOfAFrameStartsWithoutACount) {
    const std::string frames = IndicatorFrame::asciiLine(3.0, false) + IndicatorFrame::asciiLine(4.0, false);
    EXPECT_EQ(readAll(IndicatorKind::AsciiLine, {frames.substr(5)}), (std::vector<std::string>{"4.0000 S"}));
    const std::string toledo = IndicatorFrame::toledo(3.0, false) + IndicatorFrame::toledo(4.0, false);
    EXPECT_EQ(readAll(IndicatorKind::Toledo, {toledo.substr(3)}), (std::vector<std::string>{"4.0000 S"}));
}

TEST(FrameAssembler, ALineWithoutItsEndIsTooLongAndTheStreamRecovers) {
    const std::string first = IndicatorFrame::asciiLine(1.0, false);
    const std::string endless(100, '9');
    const auto seen = readAll(IndicatorKind::AsciiLine, {first + endless, IndicatorFrame::asciiLine(5.0, false),
                                                         IndicatorFrame::asciiLine(6.0, false)});
    EXPECT_EQ(seen, (std::vector<std::string>{"1.0000 S", "bad too long", "6.0000 S"}));
}

TEST(FrameAssembler, AFailureInTheReceiverNeverHasAFrameReadTwice) {
    class Failing : public Collect {
    public:
        void reading(const IndicatorReading& r) override {
            Collect::reading(r);
            if (seen.size() == 1) {
                throw std::runtime_error("judgement failed");
            }
        }
    } sink;
    FrameAssembler assembler(IndicatorFamilies::format("yaohua"));
    const std::string two = IndicatorFrame::yaohua(1.0) + IndicatorFrame::yaohua(2.0);
    EXPECT_THROW(assembler.feed(two, sink), std::runtime_error);
    assembler.feed(IndicatorFrame::yaohua(3.0), sink);
    EXPECT_EQ(sink.seen, (std::vector<std::string>{"1.0000 -", "2.0000 -", "3.0000 -"}));
    EXPECT_EQ(assembler.frames(), 3U);
}

TEST(FrameAssembler, ResetForgetsAPartialFrame) {
    FrameAssembler assembler(IndicatorFamilies::format("toledo"));
    Collect sink;
    const std::string frame = IndicatorFrame::toledo(8.0, false);
    assembler.feed(frame.substr(0, 9), sink);
    assembler.reset();
    assembler.feed(frame.substr(9) + frame, sink);
    EXPECT_EQ(sink.seen, (std::vector<std::string>{"8.0000 S"}));
    EXPECT_EQ(assembler.badFrames(), 0U);
}
