// SPDX-License-Identifier: MIT
#include "platform/qxapal/quarks/tWorkQueue.h"
#include "platform/qxerr/Exception.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace qxapal;
using namespace std::chrono_literals;
using Queue = tWorkQueue<tFastMutex, 2>;

namespace {

constexpr const char kWorkerName[] = "qx561xsae::Worker";

template <typename Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// Increments on thread exit; pthread_join waits for thread-local destructors, so a
// queue that joins its workers has counted both of them by the time it is gone.
std::atomic<int> exitedWorkers{0};
struct ExitMarker {
    bool touched = false;
    ~ExitMarker() {
        if (!touched) return;
        std::this_thread::sleep_for(30ms);
        exitedWorkers.fetch_add(1);
    }
};
thread_local ExitMarker exitMarker;

struct Recorder {
    std::vector<int> takeOffOrder;  // guarded by the queue mutex
    std::atomic<int> running{0};
    std::atomic<int> maxRunning{0};
    std::atomic<int> done{0};
    std::atomic<int> policy{-1};
    std::atomic<int> priority{-1};
    std::chrono::milliseconds work{5ms};
};

struct RecordingItem : tWorkItem {
    RecordingItem(Recorder& r, int i) : tWorkItem(&takenOff, &execute), recorder(r), index(i) {}

    static void takenOff(tWorkItem* item) {
        auto* self = static_cast<RecordingItem*>(item);
        self->recorder.takeOffOrder.push_back(self->index);
    }

    static tWorkItem* execute(tWorkItem* item) {
        auto* self = static_cast<RecordingItem*>(item);
        Recorder& r = self->recorder;
        exitMarker.touched = true;
        const int now = r.running.fetch_add(1) + 1;
        int seen = r.maxRunning.load();
        while (now > seen && !r.maxRunning.compare_exchange_weak(seen, now)) {
        }
        // Holds the worker until the other one has started an item too.
        eventually([&] { return r.maxRunning.load() >= 2; }, 10000ms);
        int policy = 0;
        sched_param parameters{};
        pthread_getschedparam(pthread_self(), &policy, &parameters);
        r.policy = policy;
        r.priority = parameters.sched_priority;
        std::this_thread::sleep_for(r.work);
        r.running.fetch_sub(1);
        r.done.fetch_add(1);
        return nullptr;
    }

    Recorder& recorder;
    int index;
};

std::vector<std::unique_ptr<RecordingItem>> makeItems(Recorder& recorder, int count) {
    std::vector<std::unique_ptr<RecordingItem>> items;
    for (int i = 0; i < count; ++i) items.push_back(std::make_unique<RecordingItem>(recorder, i));
    return items;
}

int tasksNamed(const std::string& name) {
    int count = 0;
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) return -1;
    while (dirent* entry = readdir(tasks)) {
        if (entry->d_name[0] == '.') continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string text;
        if (std::getline(comm, text) && text == name) ++count;
    }
    closedir(tasks);
    return count;
}

// What every queue test starts from.
class WorkQueue : public ::testing::Test {
protected:
    tStatus status;
    tFastMutex mutex{&status};
    Recorder recorder;
};

}  // namespace

TEST_F(WorkQueue, ItemsQueuedBeforeAnyRunStartInOrderTwoAtATime) {
    auto items = makeItems(recorder, 10);
    {
        Queue queue(&mutex, 0, kWorkerName, &status);
        ASSERT_EQ(status.code, 0);
        mutex.lock();  // the workers cannot take anything until all ten are queued
        for (auto& item : items) EXPECT_TRUE(queue.enqueue(item.get()));
        mutex.unlock();
        ASSERT_TRUE(eventually([&] { return recorder.done.load() == 10; }));
    }
    EXPECT_EQ(recorder.takeOffOrder, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(recorder.maxRunning.load(), 2);
    for (auto& item : items) EXPECT_FALSE(item->isLinked());
}

TEST_F(WorkQueue, AnItemAlreadyQueuedIsNotQueuedTwice) {
    recorder.work = 0ms;
    auto items = makeItems(recorder, 2);
    {
        Queue queue(&mutex, 0, kWorkerName, &status);
        ASSERT_EQ(status.code, 0);
        mutex.lock();
        queue.enqueue(items[0].get());
        queue.enqueue(items[1].get());
        queue.enqueue(items[0].get());
        mutex.unlock();
    }
    EXPECT_EQ(recorder.takeOffOrder, (std::vector<int>{0, 1}));
    EXPECT_EQ(recorder.done.load(), 2);
}

TEST_F(WorkQueue, DestroyingRunsPendingItemsAndJoinsBothWorkers) {
    recorder.work = 10ms;
    auto items = makeItems(recorder, 10);
    exitedWorkers = 0;
    {
        Queue queue(&mutex, 0, kWorkerName, &status);
        ASSERT_EQ(status.code, 0);
        mutex.lock();
        for (auto& item : items) queue.enqueue(item.get());
        mutex.unlock();
    }
    EXPECT_EQ(recorder.done.load(), 10);
    EXPECT_EQ(exitedWorkers.load(), 2);
}

TEST_F(WorkQueue, FollowUpItemsRunOnTheSameWorker) {
    struct Chain : tWorkItem {
        Chain(std::atomic<int>& c, Chain* n) : tWorkItem(nullptr, &step), counter(c), next_(n) {}
        static tWorkItem* step(tWorkItem* item) {
            auto* self = static_cast<Chain*>(item);
            self->counter.fetch_add(1);
            return self->next_;
        }
        std::atomic<int>& counter;
        Chain* next_;
    };
    std::atomic<int> counter{0};
    Chain third(counter, nullptr), second(counter, &third), first(counter, &second);
    {
        Queue queue(&mutex, 0, kWorkerName, &status);
        queue.enqueue(&first);
    }
    EXPECT_EQ(counter.load(), 3);
}

TEST_F(WorkQueue, WorkersNameThemselves) {
    // The kernel keeps the first 15 characters of a thread name.
    const std::string shown = std::string(kWorkerName).substr(0, 15);
    {
        Queue queue(&mutex, 0, kWorkerName, &status);
        ASSERT_EQ(status.code, 0);
        EXPECT_TRUE(eventually([&] { return tasksNamed(shown) == 2; }));
    }
    EXPECT_TRUE(eventually([&] { return tasksNamed(shown) == 0; }));
}

TEST_F(WorkQueue, PriorityZeroRunsUnderOtherPolicy) {
    recorder.work = 0ms;
    auto items = makeItems(recorder, 2);
    {
        Queue queue(&mutex, 0, kWorkerName, &status);
        ASSERT_EQ(status.code, 0);
        for (auto& item : items) queue.enqueue(item.get());
    }
    EXPECT_EQ(recorder.policy.load(), SCHED_OTHER);
    EXPECT_EQ(recorder.priority.load(), 0);
}

TEST_F(WorkQueue, PositivePriorityRunsRoundRobinOrFailsAtThreadCreation) {
    recorder.work = 0ms;
    auto items = makeItems(recorder, 2);
    Queue queue(&mutex, 10, kWorkerName, &status);
    if (status.code != 0) {
        // Without the right to real-time scheduling the creation fails at its site.
        EXPECT_EQ(status.code, qxerr::qxapalerr_osFault);
        EXPECT_STREQ(status.file, "qxapal/quarks/thread");
        EXPECT_EQ(status.line, 632u);
        EXPECT_FALSE(queue.enqueue(items[0].get()));
        GTEST_SKIP() << "no permission for SCHED_RR here";
    }
    for (auto& item : items) queue.enqueue(item.get());
    ASSERT_TRUE(eventually([&] { return recorder.done.load() == 2; }));
    EXPECT_EQ(recorder.policy.load(), SCHED_RR);
    EXPECT_EQ(recorder.priority.load(), 10);
}

TEST_F(WorkQueue, SchedulingFailureLeavesQueueWithoutWorkers) {
    auto items = makeItems(recorder, 1);
    const std::string shown = std::string(kWorkerName).substr(0, 15);
    {
        Queue queue(&mutex, 100000, kWorkerName, &status);  // no such priority
        EXPECT_EQ(status.code, qxerr::qxapalerr_osFault);
        EXPECT_STREQ(status.file, "qxapal/quarks/thread");
        EXPECT_EQ(status.line, 632u);
        EXPECT_STREQ(status.component, "qx561xsae");
        EXPECT_EQ(queue.mutex(), nullptr);
        EXPECT_FALSE(queue.enqueue(items[0].get()));
        EXPECT_FALSE(items[0]->isLinked());
    }
    EXPECT_TRUE(eventually([&] { return tasksNamed(shown) == 0; }));
    EXPECT_THROW(throwIfFatal(status), qxerr::Exception);
}

TEST_F(WorkQueue, DoesNothingOnceStatusHoldsAnError) {
    status.code = qxerr::qxapalerr_invalidParameter;
    auto items = makeItems(recorder, 1);
    Queue queue(&mutex, 0, kWorkerName, &status);
    EXPECT_EQ(status.code, qxerr::qxapalerr_invalidParameter);
    EXPECT_FALSE(queue.enqueue(items[0].get()));
}
