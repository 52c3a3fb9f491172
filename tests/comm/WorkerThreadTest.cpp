#include "comm/WorkerThread.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

namespace kelvora {
namespace {

using namespace std::chrono_literals;

class Runner : public WorkerThread {
public:
    void run(std::function<void()> body) { start(std::move(body)); }
};

TEST(WorkerThread, WaitForJoinsAThreadThatEnds) {
    Runner runner;
    EXPECT_TRUE(runner.WaitFor(0ms)); // never started
    std::atomic<bool> ran{false};
    runner.run([&] { ran = true; });
    EXPECT_TRUE(runner.WaitFor(2s));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(runner.Finished());
}

TEST(WorkerThread, ThreadThatDoesNotEndInTimeIsLeftRunningWithItsResources) {
    auto release = std::make_shared<std::atomic<bool>>(false);
    auto resource = std::make_shared<int>(42);
    auto finished = std::make_shared<std::atomic<bool>>(false);
    {
        Runner runner;
        runner.run([release, resource, finished] {
            while (!*release) {
                std::this_thread::sleep_for(1ms);
            }
            *finished = *resource == 42;
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(runner.WaitFor(50ms));
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
        EXPECT_FALSE(runner.Finished());
    }
    resource.reset(); // the thread still holds its own reference
    *release = true;
    for (int i = 0; i < 2000 && !*finished; ++i) {
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(*finished);
}

} // namespace
} // namespace kelvora
