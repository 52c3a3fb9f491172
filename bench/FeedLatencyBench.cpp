// The delay from a verdict to its delivery over MQTT on a local broker: each verdict is appended to a
// real journal.db (as the station does on the weighing path), handed to the feed, and timed until a
// subscriber of the broker has it. Prints p50, p99 and the worst delay.
//   bench-feed-latency [--count N] [--interval-ms MS]   (default 300 verdicts, one every 100 ms)

#include "data/RecordJournal.h"
#include "feed/JournalFeedSource.h"
#include "feed/StationFeed.h"
#include "tests/support/MosquittoBroker.h"
#include "tests/support/MqttSubscriber.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace kelvora;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    int count = 300;
    int intervalMs = 100;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--count") == 0) {
            count = std::max(1, std::atoi(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--interval-ms") == 0) {
            intervalMs = std::max(0, std::atoi(argv[i + 1]));
        }
    }
    test::TempDir dir;
    const QString path = QString::fromStdString(dir.file("journal.db"));
    RecordJournal journal(path);
    test::MosquittoBroker broker;
    test::MqttSubscriber subscriber(broker.port(), "bench/L1/verdict");
    JournalFeedSource source(path);
    FeedSettings settings;
    settings.broker.host = "127.0.0.1";
    settings.broker.port = broker.port();
    settings.prefix = "bench/L1";
    settings.station = "L1";
    StationFeed feed(settings, source);
    while (!feed.connected()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    std::vector<Clock::time_point> judged;
    std::vector<Clock::time_point> journaled;
    for (int i = 0; i < count; ++i) {
        judged.push_back(Clock::now());
        WeighingRecord row("大米-5kg", 5.0 + i * 1e-4, "正常", "", "2026-05-04 08:00:00");
        const WeighingRecord stored = journal.append(row, "L1");
        journaled.push_back(Clock::now());
        feed.verdictAppended(stored);
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
    }
    if (!subscriber.waitForCount("bench/L1/verdict", static_cast<std::size_t>(count), std::chrono::seconds(30))) {
        std::fprintf(stderr, "bench-feed-latency: not every verdict arrived\n");
        return 1;
    }
    std::vector<double> delays;
    std::vector<double> feedDelays;
    const auto messages = subscriber.messages();
    const auto ms = [](Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); };
    for (std::size_t i = 0; i < messages.size() && i < judged.size(); ++i) {
        delays.push_back(ms(messages[i].arrived - judged[i]));
        feedDelays.push_back(ms(messages[i].arrived - journaled[i]));
    }
    const auto report = [](const char* what, std::vector<double> values) {
        std::sort(values.begin(), values.end());
        const auto at = [&](double share) { return values[static_cast<std::size_t>(share * (values.size() - 1))]; };
        std::printf("%s: p50 %.2f ms, p99 %.2f ms, worst %.2f ms\n", what, at(0.5), at(0.99), values.back());
    };
    std::printf("%d verdicts, one every %d ms, local mosquitto:\n", count, intervalMs);
    report("  verdict to delivery (journal append included)", delays);
    report("  journal append to delivery (feed, broker, subscriber)", feedDelays);
    return 0;
}
