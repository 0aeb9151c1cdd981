// SPDX-License-Identifier: MIT
#pragma once
// Holds a qxafa::FileLock for the guard's lifetime: every lock taken is released, on
// every way out.

#include <utility>

#include "platform/qxafa/FileLock.h"

namespace qxafa {

class FileLockGuard {
public:
    enum class Mode { Shared, Exclusive };

    // Waits for the lock; qxerr::Exception when the lock call fails.
    FileLockGuard(int fd, Mode mode) : lock_(fd), held_(true) {
        if (mode == Mode::Exclusive) {
            lock_.lockExclusive();
        } else {
            lock_.lockShared();
        }
    }
    // Exclusive without waiting; holds nothing when another holder has the lock.
    static FileLockGuard tryExclusive(int fd) {
        FileLockGuard guard(fd);
        guard.held_ = guard.lock_.tryLockExclusive();
        return guard;
    }
    FileLockGuard(FileLockGuard&& other) noexcept
        : lock_(other.lock_), held_(std::exchange(other.held_, false)) {}
    FileLockGuard& operator=(FileLockGuard&&) = delete;
    FileLockGuard(const FileLockGuard&) = delete;
    ~FileLockGuard() { unlock(); }

    bool held() const { return held_; }
    void unlock() {
        if (std::exchange(held_, false)) lock_.unlock();
    }

private:
    explicit FileLockGuard(int fd) : lock_(fd), held_(false) {}

    FileLock lock_;
    bool held_;
};

}  // namespace qxafa
