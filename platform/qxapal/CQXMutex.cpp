#include "platform/qxapal/CQXMutex.h"

#include <system_error>

namespace qxapal {

CQXMutex::CQXMutex() : mutex_(std::make_unique<pthread_mutex_t>()) {
    const int error = pthread_mutex_init(mutex_.get(), nullptr);
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), "reference count mutex");
    }
}

CQXMutex::~CQXMutex() { pthread_mutex_destroy(mutex_.get()); }

void CQXMutex::lock() {
    pthread_mutex_lock(mutex_.get());
    holder_.store(pthread_self(), std::memory_order_relaxed);
    held_.store(true, std::memory_order_release);
}

void CQXMutex::unlock() {
    // Unlocking a plain mutex from another thread is undefined; refuse it.
    if (!pthread_equal(holder_.load(std::memory_order_relaxed), pthread_self())) return;
    held_.store(false, std::memory_order_release);
    holder_.store(0, std::memory_order_relaxed);
    pthread_mutex_unlock(mutex_.get());
}

CQXMutex& CQXMutex::referenceCounts() {
    // Never destroyed: objects may be released during static destruction.
    static CQXMutex* const instance = new CQXMutex;
    return *instance;
}

}  // namespace qxapal
