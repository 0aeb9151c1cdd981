// SPDX-License-Identifier: MIT
#include "platform/qxapal/CqxCS.h"

#include <fcntl.h>
#include <unistd.h>

#include <system_error>

#include "platform/qxafa/UniqueFd.h"
#include "platform/qxapal/quarks/synchronization.h"

namespace qxapal {

struct CqxCS::Record {
    pthread_mutex_t mutex;
    // Read by any thread to refuse foreign unlocks; written only by the owner.
    std::atomic<pthread_t> owner{0};
    uint32_t depth = 0;
};

bool isRealtimeKernel() {
    static const bool realtime = [] {
        const qxafa::UniqueFd file(::open("/sys/kernel/realtime", O_RDONLY | O_CLOEXEC));
        char first = 0;
        return file && ::read(file.get(), &first, 1) == 1 && first == '1';
    }();
    return realtime;
}

CqxCS::CqxCS() : record_(std::make_unique<Record>()) {
    const int error = initRecursiveMutex(record_->mutex, isRealtimeKernel());
    if (error != 0) {
        throw std::system_error(error, std::generic_category(), "critical section");
    }
}

CqxCS::~CqxCS() { pthread_mutex_destroy(&record_->mutex); }

bool CqxCS::lock(int32_t /*timeout*/) {
    pthread_mutex_lock(&record_->mutex);
    record_->owner.store(pthread_self(), std::memory_order_relaxed);
    ++record_->depth;
    return true;
}

void CqxCS::unlock() {
    if (!isOwnedByCaller()) return;
    if (--record_->depth == 0) {
        record_->owner.store(0, std::memory_order_relaxed);
    }
    pthread_mutex_unlock(&record_->mutex);
}

bool CqxCS::isOwnedByCaller() const {
    // Only this thread ever stores its own id, so a relaxed read is exact for it.
    return pthread_equal(record_->owner.load(std::memory_order_relaxed), pthread_self()) != 0;
}

}  // namespace qxapal
