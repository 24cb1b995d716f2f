#include "platform/thread/MainThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace paxid {
namespace {

TEST(MainThread, WorkOfOtherThreadsRunsOnTheMainThreadWhileTheyWait) {
    TQueueMainThread mainThread;
    std::atomic<bool> finished{false};
    std::vector<int> order;
    std::thread other([&] {
        for (int i = 0; i < 50; ++i) {
            mainThread.Synchronize([&, i] {
                EXPECT_TRUE(mainThread.IsMainThread());
                order.push_back(i);
            });
        }
        finished = true;
        mainThread.Wake();
    });
    mainThread.WaitUntil([&] { return finished.load(); });
    other.join();
    ASSERT_EQ(order.size(), 50u);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(order[static_cast<std::size_t>(i)], i);
    }
}

TEST(MainThread, OnTheMainThreadWorkRunsAtOnceAndItsExceptionsStayThere) {
    TQueueMainThread mainThread;
    bool ran = false;
    mainThread.Synchronize([&ran] { ran = true; });
    EXPECT_TRUE(ran);
    EXPECT_NO_THROW(mainThread.Synchronize([] { throw std::runtime_error("handler failed"); }));
    std::thread other([&] { mainThread.Synchronize([] { throw 42; }); });
    while (mainThread.ProcessPending() == 0) {
        std::this_thread::yield();
    }
    other.join();
}

}  // namespace
}  // namespace paxid
