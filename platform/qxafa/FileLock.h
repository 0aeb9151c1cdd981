// SPDX-License-Identifier: MIT
#pragma once
// Advisory whole-file lock on a descriptor the caller owns: shared for readers,
// exclusive for writers.

#include "platform/qxerr/Status.h"

namespace qxafa {

class FileLock {
public:
    explicit FileLock(int fd) : fd_(fd) {}

    // Status forms: nothing happens once the status holds an error.
    void lockShared(qxerr::Status& status);
    void lockExclusive(qxerr::Status& status);
    // Throwing forms: qxerr::Exception when the lock call failed.
    void lockShared();
    void lockExclusive();
    // Exclusive without waiting: false when another holder has the file locked.
    bool tryLockExclusive();
    // The result is not reported: closing the descriptor drops the lock anyway.
    void unlock();

private:
    int fd_;
};

}  // namespace qxafa
