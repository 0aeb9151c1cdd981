// SPDX-License-Identifier: MIT
#include "sim/LockFile.h"

#include "sim/SystemError.h"

#include <cerrno>
#include <fcntl.h>

namespace qxsim {

qxafa::UniqueFd LockFile::open(const std::string& path) {
    qxafa::UniqueFd file(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!file) throw SystemError("open " + path, errno);
    return file;
}

LockFile::LockFile(const std::string& path, Mode mode) : file_(open(path)), lock_(file_.get(), mode) {}

LockFile::LockFile(qxafa::UniqueFd file, qxafa::FileLockGuard lock)
    : file_(std::move(file)), lock_(std::move(lock)) {}

std::optional<LockFile> LockFile::tryExclusive(const std::string& path) {
    qxafa::UniqueFd file = open(path);
    qxafa::FileLockGuard lock = qxafa::FileLockGuard::tryExclusive(file.get());
    if (!lock.held()) return std::nullopt;
    return LockFile(std::move(file), std::move(lock));
}

}  // namespace qxsim
