// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>

#include "platform/qxerr/Exception.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/TaskQueues.h"

using namespace sysapicpp;

namespace {

// Waits (10 s at most) until the condition holds.
template <class F>
bool eventually(F&& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

TEST(TaskQueueTest, BothNamedWorkersOutliveThrowingTasks) {
    ThreadedTaskQueue<2> queue("fw-worker");
    queue.submit(makeFunctorTask([] { throw std::runtime_error("task failed"); }));
    queue.submit(makeFunctorTask([] { throw 7; }));
    queue.submit(makeFunctorTask([] { throw FailException("test", 1); }));
    queue.submit(makeFunctorTask([] { throw "anything"; }));
    queue.submit(TaskHolder());

    // Two tasks that can only finish together need both workers.
    std::atomic<int> arrived{0};
    std::mutex mutex;
    std::set<std::string> names;
    for (int i = 0; i < 2; ++i) {
        queue.submit(makeFunctorTask([&] {
            char name[16] = {};
            pthread_getname_np(pthread_self(), name, sizeof name);
            {
                std::lock_guard<std::mutex> lock(mutex);
                names.insert(name);
            }
            ++arrived;
            EXPECT_TRUE(eventually([&] { return arrived == 2; }));
        }));
    }
    EXPECT_TRUE(eventually([&] { return arrived == 2; }));
    std::lock_guard<std::mutex> lock(mutex);
    EXPECT_EQ(names, std::set<std::string>{"fw-worker"});
}

TEST(TaskQueueTest, WorkersThatCannotStartAreReported) {
    try {
        ThreadedTaskQueue<2> queue("fw-worker", 1000);  // no such SCHED_RR priority
        ADD_FAILURE() << "the queue started";
    } catch (const qxerr::Exception& e) {
        EXPECT_EQ(e.getCode(), qxerr::qxapalerr_osFault);
        EXPECT_EQ(qxerr::reportGetString(e.report(), "file"), "qxapal/quarks/thread");
        EXPECT_EQ(qxerr::reportGetInt(e.report(), "line"), 632);
    }
}

}  // namespace
