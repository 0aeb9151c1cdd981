// SPDX-License-Identifier: MIT
#pragma once
// A lock file of the state directory, locked while the object lives.

#include "platform/qxafa/FileLockGuard.h"
#include "platform/qxafa/UniqueFd.h"

#include <optional>
#include <string>

namespace qxsim {

class LockFile {
public:
    using Mode = qxafa::FileLockGuard::Mode;

    // Creates the file if needed and waits for the lock.
    LockFile(const std::string& path, Mode mode);

    // Exclusive, and only if nobody holds the lock.
    static std::optional<LockFile> tryExclusive(const std::string& path);

private:
    LockFile(qxafa::UniqueFd file, qxafa::FileLockGuard lock);
    static qxafa::UniqueFd open(const std::string& path);

    qxafa::UniqueFd file_;  // declared first: the lock is released before the file closes
    qxafa::FileLockGuard lock_;
};

}  // namespace qxsim
