// SPDX-License-Identifier: MIT
#include "platform/qxafa/FileLock.h"

#include <sys/file.h>

#include <cerrno>

#include "platform/qxerr/Exception.h"

namespace qxafa {
namespace {

constexpr const char* kModule = "qxafa/internal/FileLockImpl";
constexpr qxerr::SourceLocation kLockFailed{kModule, 218, qxerr::kComponent,
                                            "qxapalerr_osFault"};

int flockRetrying(int fd, int operation) {
    int result;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

void lock(int fd, int operation, qxerr::Status& status) {
    if (status.isFatal()) {
        return;
    }
    if (flockRetrying(fd, operation) == 0) {
        return;
    }
    qxerr::setCodeWithErrno(status, qxerr::qxapalerr_osFault, kLockFailed, errno);
}

void lockOrThrow(int fd, int operation) {
    qxerr::Status status;
    lock(fd, operation, status);
    if (status.isFatal()) {
        throw qxerr::Exception(std::move(status));
    }
}

}  // namespace

void FileLock::lockShared(qxerr::Status& status) { lock(fd_, LOCK_SH, status); }

void FileLock::lockExclusive(qxerr::Status& status) { lock(fd_, LOCK_EX, status); }

void FileLock::lockShared() { lockOrThrow(fd_, LOCK_SH); }

void FileLock::lockExclusive() { lockOrThrow(fd_, LOCK_EX); }

bool FileLock::tryLockExclusive() {
    if (flockRetrying(fd_, LOCK_EX | LOCK_NB) == 0) {
        return true;
    }
    const int error = errno;
    if (error == EWOULDBLOCK) {
        return false;
    }
    qxerr::Raise(qxerr::qxapalerr_osFault, kLockFailed).osError(error).raise();
}

void FileLock::unlock() { flockRetrying(fd_, LOCK_UN); }

}  // namespace qxafa
