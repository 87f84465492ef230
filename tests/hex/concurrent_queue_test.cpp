#include "hex/concurrent_queue.h"

#include <gtest/gtest.h>

#include <thread>

using namespace tessline;

namespace {

Deadline in(int millis) { return std::chrono::steady_clock::now() + std::chrono::milliseconds(millis); }

}  // namespace

// A waiter that sleeps until a set time still gets what came meanwhile, in
// order, each with the time it came; only an empty queue runs out.
TEST(ConcurrentQueue, SleepingWaiterGetsWhatCameMeanwhileInOrder) {
    concurrent_queue<int> queue;
    queue.push(1);
    const Deadline afterFirst = std::chrono::steady_clock::now();
    const Deadline earliest = in(50);
    std::thread pusher([&] { queue.push(2); });
    int value = 0;
    Deadline pushedAt;
    ASSERT_TRUE(queue.timedPop(value, in(5000), earliest, &pushedAt));
    EXPECT_EQ(value, 1);
    EXPECT_GE(std::chrono::steady_clock::now(), earliest);
    EXPECT_LE(pushedAt, afterFirst);
    pusher.join();
    ASSERT_TRUE(queue.timedPop(value, in(5000), earliest));
    EXPECT_EQ(value, 2);
    EXPECT_FALSE(queue.timedPop(value, in(20), in(10)));
    EXPECT_FALSE(queue.timedPop(value, in(10), in(1000)));
}

// After its set time the waiter listens: a later push ends the wait.
TEST(ConcurrentQueue, PushAfterTheSetTimeWakesTheWaiter) {
    concurrent_queue<int> queue;
    std::thread pusher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        queue.push(7);
    });
    int value = 0;
    const Deadline deadline = in(10000);
    EXPECT_TRUE(queue.timedPop(value, deadline, in(5)));
    EXPECT_LT(std::chrono::steady_clock::now(), deadline);  // woken, not timed out
    EXPECT_EQ(value, 7);
    pusher.join();
}
