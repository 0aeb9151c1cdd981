// SPDX-License-Identifier: MIT
#include "platform/qxapal/CQXMutex.h"

#include <type_traits>

namespace qxapal {

static_assert(std::is_trivially_destructible<CQXMutex>::value,
              "the instance must need no destruction at exit or unload");

void CQXMutex::lock() {
    pthread_mutex_lock(&mutex_);
    holder_.store(pthread_self(), std::memory_order_relaxed);
    held_.store(true, std::memory_order_release);
}

void CQXMutex::unlock() {
    // Unlocking a plain mutex from another thread is undefined; refuse it.
    if (!pthread_equal(holder_.load(std::memory_order_relaxed), pthread_self())) return;
    held_.store(false, std::memory_order_release);
    holder_.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(&mutex_);
}

CQXMutex& CQXMutex::referenceCounts() {
    static CQXMutex instance;
    return instance;
}

}  // namespace qxapal
