#include "sim/FileLock.h"

#include "sim/SystemError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>

namespace qxsim {

UniqueFd FileLock::open(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) throw SystemError("open " + path, errno);
    return fd;
}

FileLock::FileLock(const std::string& path, Mode mode) : fd_(open(path)) {
    const int operation = mode == Mode::Shared ? LOCK_SH : LOCK_EX;
    while (::flock(fd_.get(), operation) < 0) {
        if (errno != EINTR) throw SystemError("lock " + path, errno);
    }
}

FileLock FileLock::tryExclusive(const std::string& path) {
    FileLock lock;
    UniqueFd fd = open(path);
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0) {
        lock.fd_ = std::move(fd);
    } else if (errno != EWOULDBLOCK) {
        throw SystemError("lock " + path, errno);
    }
    return lock;
}

}  // namespace qxsim
