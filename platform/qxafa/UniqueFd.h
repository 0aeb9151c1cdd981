// SPDX-License-Identifier: MIT
#pragma once
// Sole owners of a file descriptor and of a directory stream: moved, never copied, and
// closed when the owner goes. Header-only, so the simulator and the tests use them too.

#include <dirent.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <utility>

namespace qxafa {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    // Closing is never retried after EINTR: Linux has released the descriptor by then, and
    // a second close could hit one that another thread has just opened.
    void reset(int fd = -1) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = fd;
    }
    // Closes now and returns close's result (0 when nothing was open): a failing close
    // can mean lost writes.
    int close() {
        const int fd = release();
        return fd < 0 ? 0 : ::close(fd);
    }

private:
    int fd_ = -1;
};

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

// Null (with errno set) when the directory cannot be opened.
inline UniqueDir openDirectory(const std::string& path) { return UniqueDir(::opendir(path.c_str())); }

}  // namespace qxafa
