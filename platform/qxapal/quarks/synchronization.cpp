// SPDX-License-Identifier: MIT
#include "platform/qxapal/quarks/synchronization.h"

#include <cerrno>

namespace qxapal {
namespace {

constexpr const char kModule[] = "qxapal/quarks/synchronization";
constexpr qxerr::SourceLocation kMutexFailed{kModule, 588, qxerr::kComponent,
                                             "qxapalerr_softwareFaultAPALInternalUseOnly"};
constexpr qxerr::SourceLocation kCondFailed{kModule, 1352, qxerr::kComponent, "qxapalerr_osFault"};

}  // namespace

int initRecursiveMutex(pthread_mutex_t& mutex, bool priorityInheritance) {
    pthread_mutexattr_t attributes;
    int error = pthread_mutexattr_init(&attributes);
    if (error != 0) return error;
    error = pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    if (error == 0 && priorityInheritance) {
        error = pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
    }
    if (error == 0) {
        error = pthread_mutex_init(&mutex, &attributes);
    }
    pthread_mutexattr_destroy(&attributes);
    return error;
}

tFastMutex::tFastMutex(tStatus* status) {
    if (status != nullptr && status->isFatal()) return;
    valid_ = initRecursiveMutex(mutex_, true) == 0;
    if (!valid_) {
        setCodeWithFileLine(status, qxerr::qxapalerr_softwareFaultAPALInternalUseOnly, kMutexFailed);
    }
}

tFastMutex::~tFastMutex() {
    if (valid_) pthread_mutex_destroy(&mutex_);
}

void tFastMutex::lock() {
    if (valid_) pthread_mutex_lock(&mutex_);
}

void tFastMutex::unlock() {
    if (valid_) pthread_mutex_unlock(&mutex_);
}

tEvent::tEvent(bool autoReset, tStatus* status) : autoReset_(autoReset) {
    if (status != nullptr && status->isFatal()) return;
    pthread_condattr_t attributes;
    if (pthread_condattr_init(&attributes) != 0) {
        setCodeWithFileLine(status, qxerr::qxapalerr_osFault, kCondFailed);
        return;
    }
    // Timeouts must not jump with the wall clock; older systems keep the default clock.
    if (pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC) == 0) {
        clock_ = CLOCK_MONOTONIC;
    }
    condValid_ = pthread_cond_init(&cond_, &attributes) == 0;
    pthread_condattr_destroy(&attributes);
    if (!condValid_) {
        setCodeWithFileLine(status, qxerr::qxapalerr_osFault, kCondFailed);
        return;
    }
    mutexValid_ = initRecursiveMutex(mutex_, true) == 0;
    if (!mutexValid_) {
        setCodeWithFileLine(status, qxerr::qxapalerr_softwareFaultAPALInternalUseOnly, kMutexFailed);
    }
}

tEvent::~tEvent() {
    if (condValid_) pthread_cond_destroy(&cond_);
    if (mutexValid_) pthread_mutex_destroy(&mutex_);
}

void tEvent::set() {
    if (!isValid()) return;
    pthread_mutex_lock(&mutex_);
    signalled_ = true;
    if (autoReset_) {
        pthread_cond_signal(&cond_);
    } else {
        pthread_cond_broadcast(&cond_);
    }
    pthread_mutex_unlock(&mutex_);
}

void tEvent::reset() {
    if (!isValid()) return;
    pthread_mutex_lock(&mutex_);
    signalled_ = false;
    pthread_mutex_unlock(&mutex_);
}

bool tEvent::deadlineAfter(int32_t timeoutMs, timespec& deadline) const {
    if (clock_gettime(clock_, &deadline) != 0) return false;
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return true;
}

bool tEvent::wait(int32_t timeoutMs) {
    if (!isValid()) return false;
    const bool timed = timeoutMs >= 0;
    timespec deadline{};
    if (timed && !deadlineAfter(timeoutMs, deadline)) return false;
    pthread_mutex_lock(&mutex_);
    int error = 0;
    while (!signalled_ && error == 0) {
        error = timed ? pthread_cond_timedwait(&cond_, &mutex_, &deadline)
                      : pthread_cond_wait(&cond_, &mutex_);
    }
    const bool woke = signalled_;
    if (woke && autoReset_) signalled_ = false;
    pthread_mutex_unlock(&mutex_);
    return woke;
}

}  // namespace qxapal
