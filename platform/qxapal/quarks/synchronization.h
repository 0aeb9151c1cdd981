// SPDX-License-Identifier: MIT
#pragma once
// The work queue's locks and events.

#include <pthread.h>

#include <cstdint>
#include <ctime>

#include "platform/qxapal/tStatus.h"

namespace qxapal {

// A recursive, priority-inheriting mutex.
class tFastMutex {
public:
    // A mutex that cannot be created sets qxapalerr_softwareFaultAPALInternalUseOnly;
    // lock and unlock of such a mutex do nothing.
    explicit tFastMutex(tStatus* status);
    ~tFastMutex();
    tFastMutex(const tFastMutex&) = delete;
    tFastMutex& operator=(const tFastMutex&) = delete;

    void lock();
    void unlock();
    bool isValid() const { return valid_; }

private:
    pthread_mutex_t mutex_;
    bool valid_ = false;
};

// Scoped lock for any type with lock() and unlock().
template <typename Lockable>
class tLockGuard {
public:
    explicit tLockGuard(Lockable& lockable) : lockable_(lockable) { lockable_.lock(); }
    ~tLockGuard() { lockable_.unlock(); }
    tLockGuard(const tLockGuard&) = delete;
    tLockGuard& operator=(const tLockGuard&) = delete;

private:
    Lockable& lockable_;
};

// A signalled flag with waiters, timed on the monotonic clock when the system allows.
class tEvent {
public:
    static constexpr int32_t kInfinite = -1;

    // A condition variable that cannot be created sets qxapalerr_osFault; an event mutex
    // that cannot be created sets qxapalerr_softwareFaultAPALInternalUseOnly.
    tEvent(bool autoReset, tStatus* status);
    ~tEvent();
    tEvent(const tEvent&) = delete;
    tEvent& operator=(const tEvent&) = delete;

    // Sets the flag and wakes one waiter (auto-reset) or all of them.
    void set();
    void reset();
    // Waits until the flag is set or timeoutMs milliseconds pass (kInfinite: no limit).
    // Returns whether it was set; an auto-reset event clears it for the waiter that woke.
    bool wait(int32_t timeoutMs = kInfinite);
    bool isValid() const { return mutexValid_ && condValid_; }

private:
    bool deadlineAfter(int32_t timeoutMs, timespec& deadline) const;

    pthread_mutex_t mutex_;
    pthread_cond_t cond_;
    clockid_t clock_ = CLOCK_REALTIME;
    bool mutexValid_ = false;
    bool condValid_ = false;
    bool signalled_ = false;
    const bool autoReset_;
};

// Initialises a recursive mutex; priority inheritance when asked. Returns the pthread
// error code.
int initRecursiveMutex(pthread_mutex_t& mutex, bool priorityInheritance);

}  // namespace qxapal
