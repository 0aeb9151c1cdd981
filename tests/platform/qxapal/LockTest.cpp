// SPDX-License-Identifier: MIT
#include "platform/qxapal/CQXMutex.h"
#include "platform/qxapal/CqxCS.h"
#include "platform/qxapal/quarks/synchronization.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace qxapal;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

template <typename Predicate>
bool eventually(Predicate predicate, std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = Clock::now() + limit;
    while (!predicate()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A thread that takes the section and reports when it got it.
class Contender {
public:
    explicit Contender(CqxCS& section)
        : thread_([this, &section] {
              section.lock();
              acquired_ = true;
              while (!release_) std::this_thread::sleep_for(1ms);
              section.unlock();
          }) {}
    ~Contender() {
        release_ = true;
        thread_.join();
    }
    bool acquired() const { return acquired_; }

private:
    std::atomic<bool> acquired_{false};
    std::atomic<bool> release_{false};
    std::thread thread_;
};

}  // namespace

TEST(CqxCS, IsRecursiveAndReleasedByTheLastUnlock) {
    CqxCS section;
    EXPECT_TRUE(section.lock());
    EXPECT_TRUE(section.lock(0));
    EXPECT_TRUE(section.isOwnedByCaller());
    Contender other(section);
    section.unlock();
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(other.acquired()) << "one unlock released two locks";
    section.unlock();
    EXPECT_FALSE(section.isOwnedByCaller());
    EXPECT_TRUE(eventually([&] { return other.acquired(); }));
}

TEST(CqxCS, UnlockByAnotherThreadIsIgnored) {
    CqxCS section;
    section.lock();
    std::thread([&] {
        EXPECT_FALSE(section.isOwnedByCaller());
        section.unlock();
    }).join();
    EXPECT_TRUE(section.isOwnedByCaller());
    Contender other(section);
    std::this_thread::sleep_for(50ms);
    EXPECT_FALSE(other.acquired());
    section.unlock();
    EXPECT_TRUE(eventually([&] { return other.acquired(); }));
}

TEST(CqxCS, SerialisesThreads) {
    CqxCS section;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                CqxCSLock outer(section);
                CqxCSLock inner(section);
                ++counter;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 8000);
}

TEST(CQXMutex, HeldOnlyBetweenLockAndUnlock) {
    CQXMutex& mutex = CQXMutex::referenceCounts();
    EXPECT_EQ(&mutex, &CQXMutex::referenceCounts());
    EXPECT_FALSE(mutex.held());
    long count = 0;
    std::atomic<int> heldAtEntry{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                mutex.lock();
                if (!mutex.held()) heldAtEntry.fetch_add(1);
                ++count;
                mutex.unlock();
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(count, 8000);
    EXPECT_EQ(heldAtEntry.load(), 0);
    EXPECT_FALSE(mutex.held());
}

TEST(CQXMutex, UnlockByAnotherThreadIsIgnored) {
    CQXMutex mutex;
    mutex.lock();
    std::thread([&] { mutex.unlock(); }).join();
    EXPECT_TRUE(mutex.held());
    mutex.unlock();
    EXPECT_FALSE(mutex.held());
}

TEST(Event, AutoResetWakesOneWaiterPerSet) {
    tStatus status;
    tEvent event(true, &status);
    ASSERT_EQ(status.code, 0);
    event.set();
    EXPECT_TRUE(event.wait(0));
    EXPECT_FALSE(event.wait(0)) << "an auto-reset event stayed set";

    std::atomic<int> woke{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) {
        waiters.emplace_back([&] {
            if (event.wait(60000)) woke.fetch_add(1);  // far longer than the test takes
        });
    }
    std::this_thread::sleep_for(20ms);
    event.set();
    EXPECT_TRUE(eventually([&] { return woke.load() == 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(woke.load(), 1);
    event.set();
    for (auto& waiter : waiters) waiter.join();
    EXPECT_EQ(woke.load(), 2);
}

TEST(Event, ManualResetStaysSetUntilReset) {
    tStatus status;
    tEvent event(false, &status);
    event.set();
    EXPECT_TRUE(event.wait(0));
    EXPECT_TRUE(event.wait(10));
    event.reset();
    EXPECT_FALSE(event.wait(0));
}

TEST(Event, WaitEndsAtItsTimeout) {
    tStatus status;
    tEvent event(true, &status);
    for (int timeout : {0, 30, 120}) {
        const auto start = Clock::now();
        EXPECT_FALSE(event.wait(timeout));
        const auto waited = Clock::now() - start;
        EXPECT_GE(waited, std::chrono::milliseconds(timeout));
        EXPECT_LT(waited, std::chrono::milliseconds(timeout) + 2000ms);
    }
}

TEST(Event, WaiterWakesWhenSetFromAnotherThread) {
    tStatus status;
    tEvent event(true, &status);
    std::thread setter([&] {
        std::this_thread::sleep_for(20ms);
        event.set();
    });
    EXPECT_TRUE(event.wait());
    setter.join();
}

TEST(FastMutex, IsRecursive) {
    tStatus status;
    tFastMutex mutex(&status);
    ASSERT_TRUE(mutex.isValid());
    std::atomic<bool> acquired{false};
    mutex.lock();
    mutex.lock();
    mutex.unlock();
    std::thread other([&] {
        mutex.lock();
        acquired = true;
        mutex.unlock();
    });
    std::this_thread::sleep_for(30ms);
    EXPECT_FALSE(acquired.load());
    mutex.unlock();
    other.join();
    EXPECT_TRUE(acquired.load());
}
