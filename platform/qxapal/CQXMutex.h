// SPDX-License-Identifier: MIT
#pragma once
// The plain process-wide mutex that serialises reference counts.

#include <pthread.h>

#include <atomic>

namespace qxapal {

class CQXMutex {
public:
    // Statically initialised and with nothing to release: the instance stays usable while
    // objects are released during static destruction, and a plug-in that is unloaded
    // leaves nothing behind.
    CQXMutex() = default;
    ~CQXMutex() = default;
    CQXMutex(const CQXMutex&) = delete;
    CQXMutex& operator=(const CQXMutex&) = delete;

    // Not recursive: a holder that locks again deadlocks.
    void lock();
    // Ignored when the calling thread is not the holder.
    void unlock();
    // Set between lock and unlock of the holder.
    bool held() const { return held_.load(std::memory_order_acquire); }

    // The one instance that guards every COM-like reference count.
    static CQXMutex& referenceCounts();

private:
    pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
    std::atomic<bool> held_{false};
    std::atomic<pthread_t> holder_{0};
};

}  // namespace qxapal
