// SPDX-License-Identifier: MIT
#include "platform/qxapal/protons/enumeration/linuxU/linuxDevEnumHelper.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/qxafa/UniqueFd.h"

namespace qxapal {
namespace {

constexpr const char* kModule = "qxapal/protons/enumeration/linuxU/linuxDevEnumHelper";
constexpr qxerr::SourceLocation kBufferTooSmall{kModule, 72, qxerr::kComponent,
                                                "qxapalerr_bufferTooSmall"};
constexpr qxerr::SourceLocation kReadFailed{kModule, 78, qxerr::kComponent,
                                            "qxapalerr_fileReadFailed"};
constexpr qxerr::SourceLocation kOpenFailed{kModule, 87, qxerr::kComponent,
                                            "qxapalerr_resourceNotFound"};

// The driver may be busy regenerating a file; a few immediate retries ride that out.
constexpr int kOpenAttempts = 10;

}  // namespace

void readPropertyFile(const char* path, void* buffer, std::size_t bufferSize,
                      std::size_t* byteCount, tStatus* status) {
    if (status == nullptr || status->isFatal()) return;

    // Read without a stream: a listing reads a dozen of these files for every board, and a
    // stream's buffer would be allocated for each.
    qxafa::UniqueFd file;
    for (int attempt = 0; attempt < kOpenAttempts && !file; ++attempt)
        file.reset(::open(path, O_RDONLY | O_CLOEXEC));
    if (!file) {
        setCodeWithFileLine(status, qxerr::qxapalerr_resourceNotFound, kOpenFailed);
        return;
    }

    char local[kPropertyFileMax];
    std::size_t n = 0;
    while (n < sizeof local) {
        const ssize_t got = ::read(file.get(), local + n, sizeof local - n);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            setCodeWithFileLine(status, qxerr::qxapalerr_fileReadFailed, kReadFailed);
            return;
        }
        if (got == 0) break;
        n += static_cast<std::size_t>(got);
    }
    if (byteCount) *byteCount = n;
    if (buffer == nullptr || bufferSize < n) {
        setCodeWithFileLine(status, qxerr::qxapalerr_bufferTooSmall, kBufferTooSmall);
        return;
    }
    if (n > 0) std::memcpy(buffer, local, n);
}

}  // namespace qxapal
