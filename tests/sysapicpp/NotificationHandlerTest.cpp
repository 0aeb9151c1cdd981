// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "sysapicpp/AsyncNotificationHandler.h"
#include "sysapicpp/SyncNotificationHandler.h"
#include "sysapicpp/cache/Item.h"
#include "sysapicpp/TaskQueues.h"
#include "tests/sysapicpp/FakeSink.h"

using namespace sysapicpp;
using Lines = std::vector<std::string>;

namespace {

// Keeps what is submitted, to run it later on the test's thread.
class HeldQueue final : public TaskQueue {
public:
    void submit(const TaskHolder& task) override { tasks.push_back(task); }
    std::vector<TaskHolder> tasks;
};

TEST(NotificationHandlerTest, TheSinkGetsExactlyWhatWasPostedWhileItListens) {
    fake::FakeSink sink;
    fake::FakeSink sender;
    SyncNotificationHandler host(&sender);
    HeldQueue queue;
    AsyncNotificationHandler async(host, queue);

    EXPECT_EQ(async.notify(kItemsChanged, "early"), S_OK);
    EXPECT_EQ(host.notify(kItemsChanged, "early"), S_OK);
    EXPECT_TRUE(queue.tasks.empty());

    host.setSink(&sink);
    EXPECT_EQ(sink.references, 1u);
    EXPECT_TRUE(async.isListening());
    async.notify(kItemsAdded, Lines{});
    async.notify(kItemsAdded, Lines{"a", "port \xC3\xA9"});
    async.notify(kItemsRemoved, "b");
    ASSERT_EQ(queue.tasks.size(), 2u);
    for (const TaskHolder& task : queue.tasks) task.run();
    EXPECT_EQ(sink.waitFor(2), (Lines{"1 a port \xC3\xA9", "2 b"}));
    EXPECT_EQ(sink.senders(), (std::vector<IUnknown*>{&sender, &sender}));

    sink.result = E_SYSAPI_VALIDATION_VALUE;
    EXPECT_EQ(host.notify(kItemsChanged, "c"), E_SYSAPI_VALIDATION_VALUE);
    // A name that cannot be converted stops the delivery, not the caller.
    EXPECT_EQ(host.notify(kItemsChanged, "\xC0\x80"), E_FAIL);
    EXPECT_EQ(sink.waitFor(3).size(), 3u);
    EXPECT_EQ(sink.references, 1u);

    host.clearSink();
    EXPECT_EQ(sink.references, 0u);
    EXPECT_FALSE(async.isListening());
}

TEST(NotificationHandlerTest, NotificationsPendingWhenTheQueueGoesAreDelivered) {
    fake::FakeSink sink;
    SyncNotificationHandler host;
    host.setSink(&sink);
    AutoTaskQueue queue(std::make_unique<ThreadedTaskQueue<2>>("fw-notify"));
    AsyncNotificationHandler async(host, queue);

    // Both workers wait until the queue is being destroyed with the notifications queued.
    std::atomic<bool> go{false};
    for (int i = 0; i < 2; ++i) {
        queue.submit(makeFunctorTask([&] {
            while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }));
    }
    for (int i = 0; i < 10; ++i) async.notify(kItemsChanged, std::to_string(i));
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        go = true;
    });
    queue.shutdown();
    opener.join();
    EXPECT_EQ(sink.waitFor(0).size(), 10u);

    async.notify(kItemsChanged, "late");
    EXPECT_EQ(sink.waitFor(0).size(), 10u);
}

}  // namespace
