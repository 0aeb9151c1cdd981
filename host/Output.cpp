// SPDX-License-Identifier: MIT
#include "host/Output.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/HostError.h"

namespace qxhost {
namespace {

constexpr int kStandardOutput = 1;
constexpr int kStandardError = 2;
// A runaway writer must not fill the memory: only the start is kept.
constexpr long long kForeignLimit = 64 * 1024;

// 0 when everything was written, else the errno.
int writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

}  // namespace

Output::Output(bool json) : json_(json) {}

void Output::catchForeignErrors() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!json_ || foreignErrors_) return;
    qxafa::UniqueFd own(::fcntl(kStandardError, F_DUPFD_CLOEXEC, 3));
    qxafa::UniqueFd aside(::memfd_create("qxhost-stderr", MFD_CLOEXEC));
    // Without either, standard error stays as it is: better mixed than lost.
    if (!own || !aside || ::dup2(aside.get(), kStandardError) < 0) return;
    ownErrors_ = std::move(own);
    foreignErrors_ = std::move(aside);
}

std::string Output::takeForeignErrors() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!foreignErrors_) return "";
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::pread(foreignErrors_.get(), buffer, sizeof buffer, foreignRead_);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        foreignRead_ += n;
        if (static_cast<long long>(text.size()) < kForeignLimit) text.append(buffer, static_cast<std::size_t>(n));
    }
    return text;
}

void Output::result(const std::string& text) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (stopped_) return;
    if (const int error = writeAll(kStandardOutput, text))
        throw HostError(kCallOutput, std::nullopt, std::string("standard output: ") + std::strerror(error));
}

void Output::diagnostic(const std::string& text) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (stopped_) return;
    writeAll(ownErrors_ ? ownErrors_.get() : kStandardError, text);
}

}  // namespace qxhost
