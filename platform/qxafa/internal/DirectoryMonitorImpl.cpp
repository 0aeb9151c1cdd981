// SPDX-License-Identifier: MIT
#include "platform/qxafa/DirectoryMonitor.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>

#include "platform/qxerr/Exception.h"

namespace qxafa {
namespace {

constexpr const char* kModule = "qxafa/internal/DirectoryMonitorImpl";
constexpr qxerr::SourceLocation kPipeFailed{kModule, 124, qxerr::kComponent, "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kReadEndFlagsFailed{kModule, 130, qxerr::kComponent,
                                                    "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kWriteEndFlagsFailed{kModule, 136, qxerr::kComponent,
                                                     "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kInitFailed{kModule, 399, qxerr::kComponent, "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kAddWatchFailed{kModule, 429, qxerr::kComponent,
                                                "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kSelectFailed{kModule, 91, qxerr::kComponent, "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kTimedOut{kModule, 98, qxerr::kComponent,
                                          "qxapalerr_operationTimedOut"};
constexpr qxerr::SourceLocation kReadFailed{kModule, 497, qxerr::kComponent, "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kWatchesFull{"qxhtl/err/Allocator", 32, qxerr::kComponent,
                                             "qxapalerr_memoryFull"};

constexpr uint32_t kEventMask = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                IN_MOVED_TO | IN_CREATE | IN_DELETE | IN_DELETE_SELF |
                                IN_MOVE_SELF;
static_assert(kEventMask == 0xFCE, "watch mask");
static_assert(DirectoryMonitor::kPathGone == (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED),
              "events of a directory that is gone");
static_assert(DirectoryMonitor::kEntriesComeAndGo ==
                  (IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO),
              "events of entries that come and go");

constexpr size_t kFirstReadSize = 31;
constexpr size_t kReadSizeStep = 15;
// The largest event the kernel can hand out: a header and a name of NAME_MAX bytes.
constexpr size_t kLargestEvent = sizeof(inotify_event) + NAME_MAX + 1;

void setOsFault(qxerr::Status& status, const qxerr::SourceLocation& location, int error) {
    qxerr::setCodeWithErrno(status, qxerr::qxapalerr_osFault, location, error);
}

int setNonBlocking(int fd) {
    int flags;
    do {
        flags = fcntl(fd, F_GETFL);
    } while (flags < 0 && errno == EINTR);
    if (flags < 0) return -1;
    int result;
    do {
        result = fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    } while (result < 0 && errno == EINTR);
    return result;
}

void throwIfFailed(qxerr::Status& status) {
    if (status.isFatal()) {
        throw qxerr::Exception(std::move(status));
    }
}

}  // namespace

DirectoryMonitor::DirectoryMonitor(const char* const* paths, size_t count, qxerr::Status& status) {
    open(paths, count, status);
}

DirectoryMonitor::DirectoryMonitor(const std::string& path, qxerr::Status& status) {
    const char* paths[] = {path.c_str()};
    open(paths, 1, status);
}

// Delegates first so that the destructor releases what was opened when this throws.
DirectoryMonitor::DirectoryMonitor(const std::string& path) : DirectoryMonitor() {
    qxerr::Status status;
    const char* paths[] = {path.c_str()};
    open(paths, 1, status);
    throwIfFailed(status);
}

DirectoryMonitor::DirectoryMonitor(const std::vector<std::string>& paths) : DirectoryMonitor() {
    qxerr::Status status;
    std::vector<const char*> texts;
    for (const std::string& path : paths) texts.push_back(path.c_str());
    open(texts.data(), texts.size(), status);
    throwIfFailed(status);
}

DirectoryMonitor::~DirectoryMonitor() {
    if (inotify_) {
        for (int32_t watch : watches_) {
            if (watch >= 0) inotify_rm_watch(inotify_.get(), watch);
        }
    }
}

void DirectoryMonitor::open(const char* const* paths, size_t count, qxerr::Status& status) {
    // Close-on-exec keeps the wake pipe out of the tool and shells the plug-in starts.
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        setOsFault(status, kPipeFailed, errno);
        return;
    }
    wakeRead_.reset(ends[0]);
    wakeWrite_.reset(ends[1]);
    if (setNonBlocking(wakeRead_.get()) != 0) {
        setOsFault(status, kReadEndFlagsFailed, errno);
        return;
    }
    if (setNonBlocking(wakeWrite_.get()) != 0) {
        setOsFault(status, kWriteEndFlagsFailed, errno);
        return;
    }
    inotify_.reset(inotify_init1(IN_CLOEXEC));
    if (!inotify_) {
        setOsFault(status, kInitFailed, errno);
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        const int watch = addWatch(paths[i], kEventMask, status);
        if (watch < 0) return;
        if (!storeWatch(watch, status)) {
            inotify_rm_watch(inotify_.get(), watch);
            return;
        }
    }
}

int32_t DirectoryMonitor::addWatch(const char* path, uint32_t events, qxerr::Status& status) {
    const int watch = inotify_add_watch(inotify_.get(), path, events);
    if (watch < 0) setOsFault(status, kAddWatchFailed, errno);
    return watch;
}

bool DirectoryMonitor::watch(uint32_t index, const std::string& path, qxerr::Status& status) {
    return watch(index, path, kEventMask, status);
}

bool DirectoryMonitor::watch(uint32_t index, const std::string& path, uint32_t events,
                             qxerr::Status& status) {
    if (status.isFatal()) return false;
    if (!inotify_ || index > watches_.size()) {
        setOsFault(status, kAddWatchFailed, EBADF);
        return false;
    }
    if (index < watches_.size() && watches_[index] >= 0) {
        // Fails harmlessly when the kernel has dropped the watch with its directory.
        inotify_rm_watch(inotify_.get(), watches_[index]);
        watches_[index] = -1;
    }
    const int32_t added = addWatch(path.c_str(), events, status);
    if (added < 0) return false;
    if (index < watches_.size()) {
        watches_[index] = added;
        return true;
    }
    if (storeWatch(added, status)) return true;
    inotify_rm_watch(inotify_.get(), added);
    return false;
}

bool DirectoryMonitor::storeWatch(int32_t watch, qxerr::Status& status) {
    try {
        if (watches_.size() == watches_.capacity()) {
            const size_t grown = watches_.capacity() + watches_.capacity() / 2;
            watches_.reserve(grown > 8 ? grown : 8);
        }
        watches_.push_back(watch);
        return true;
    } catch (const std::bad_alloc&) {
        qxerr::setCodeWithLocation(status, qxerr::qxapalerr_memoryFull, kWatchesFull);
        return false;
    }
}

bool DirectoryMonitor::waitForChange(uint32_t timeoutMs, uint32_t* outIndex,
                                     qxerr::Status& status) {
    return waitForChange(timeoutMs, outIndex, nullptr, status);
}

bool DirectoryMonitor::waitForChange(uint32_t timeoutMs, uint32_t* outIndex, uint32_t* outMask,
                                     qxerr::Status& status) {
    return waitForChange(timeoutMs, outIndex, outMask, nullptr, status);
}

bool DirectoryMonitor::waitForChange(uint32_t timeoutMs, uint32_t* outIndex, uint32_t* outMask,
                                     std::string* outName, qxerr::Status& status) {
    if (status.isFatal()) {
        return false;
    }
    for (;;) {
        const int ready = waitReadable(timeoutMs, status);
        if (ready != 2) {
            return false;  // cancelled, timed out or failed
        }
        uint32_t mask = 0;
        int32_t watch = -1;
        if (readFirstEvent(mask, watch, outName, status) != 1) {
            return false;
        }
        if (mask & IN_Q_OVERFLOW) {
            continue;
        }
        if (outIndex) {
            uint32_t index = 0;
            while (index < watches_.size() && watches_[index] != watch) {
                ++index;
            }
            *outIndex = index;
        }
        if (outMask) *outMask = mask;
        return true;
    }
}

bool DirectoryMonitor::waitForChange(uint32_t* outIndex, qxerr::Status& status) {
    return waitForChange(kNoTimeLimit, outIndex, status);
}

bool DirectoryMonitor::waitForChange(uint32_t timeoutMs, uint32_t* outIndex) {
    qxerr::Status status;
    const bool changed = waitForChange(timeoutMs, outIndex, status);
    throwIfFailed(status);
    return changed;
}

bool DirectoryMonitor::waitForChange(uint32_t* outIndex) {
    return waitForChange(kNoTimeLimit, outIndex);
}

void DirectoryMonitor::cancelWait() {
    const uint32_t wake = 0;
    ssize_t written;
    do {
        written = ::write(wakeWrite_.get(), &wake, sizeof wake);
    } while (written < 0 && errno == EINTR);
    // A full pipe already wakes every wait, so a failed write loses nothing.
}

// poll rather than select: select cannot watch a descriptor numbered 1024 or above,
// which a host process with many open files can easily hand us.
int DirectoryMonitor::waitReadable(uint32_t timeoutMs, qxerr::Status& status) {
    if (!wakeRead_ || !inotify_) {
        setOsFault(status, kSelectFailed, EBADF);
        return -1;
    }
    using Clock = std::chrono::steady_clock;
    const bool unlimited = timeoutMs == kNoTimeLimit;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd fds[2] = {{wakeRead_.get(), POLLIN, 0}, {inotify_.get(), POLLIN, 0}};
        timespec limit{};
        if (!unlimited) {
            // After EINTR the wait goes on for the time that is left.
            auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline -
                                                                             Clock::now());
            if (left.count() < 0) left = std::chrono::nanoseconds(0);
            limit.tv_sec = static_cast<time_t>(left.count() / 1000000000);
            limit.tv_nsec = static_cast<long>(left.count() % 1000000000);
        }
        const int count = ppoll(fds, 2, unlimited ? nullptr : &limit, nullptr);
        if (count < 0) {
            if (errno == EINTR) continue;
            setOsFault(status, kSelectFailed, errno);
            return -1;
        }
        if (count == 0) {
            if (qxerr::setCodeWithLocation(status, qxerr::qxapalerr_operationTimedOut,
                                           kTimedOut)) {
                char* cursor = qxerr::reportOpen(status);
                if (cursor) {
                    qxerr::reportAddUnsigned(status, cursor, "requested_timeout_ms", timeoutMs);
                }
            }
            return 0;
        }
        if ((fds[0].revents | fds[1].revents) & POLLNVAL) {
            setOsFault(status, kSelectFailed, EBADF);
            return -1;
        }
        if (fds[0].revents) return 1;
        if (fds[1].revents) return 2;
    }
}

int DirectoryMonitor::readFirstEvent(uint32_t& mask, int32_t& watch, std::string* name,
                                     qxerr::Status& status) {
    alignas(inotify_event) char buffer[kLargestEvent + kReadSizeStep];
    size_t size = kFirstReadSize;
    for (;;) {
        const ssize_t got = ::read(inotify_.get(), buffer, size);
        if (got < 0) {
            const int error = errno;
            if (error == EINTR) continue;
            // EINVAL: the next event does not fit; no event is larger than kLargestEvent.
            if (error == EINVAL && size < kLargestEvent) {
                size += kReadSizeStep;
                continue;
            }
            setOsFault(status, kReadFailed, error);
            return -1;
        }
        if (static_cast<size_t>(got) < sizeof(inotify_event)) {
            return 0;
        }
        inotify_event event;
        std::memcpy(&event, buffer, sizeof event);
        mask = event.mask;
        watch = event.wd;
        if (name) {
            // The kernel pads the name with NULs up to event.len.
            const char* text = buffer + sizeof event;
            const size_t room = std::min<size_t>(event.len, static_cast<size_t>(got) - sizeof event);
            name->assign(text, ::strnlen(text, room));
        }
        return 1;
    }
}

}  // namespace qxafa
