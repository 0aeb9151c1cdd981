// SPDX-License-Identifier: MIT
#include "platform/qxapal/protons/enumeration/linuxU/linuxDevEnumHelper.h"

#include <cstdio>
#include <cstring>
#include <memory>

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

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void readPropertyFile(const char* path, void* buffer, std::size_t bufferSize,
                      std::size_t* byteCount, tStatus* status) {
    if (status == nullptr || status->isFatal()) return;

    std::unique_ptr<std::FILE, FileCloser> file;
    for (int attempt = 0; attempt < kOpenAttempts && !file; ++attempt)
        file.reset(std::fopen(path, "re"));
    if (!file) {
        setCodeWithFileLine(status, qxerr::qxapalerr_resourceNotFound, kOpenFailed);
        return;
    }

    char local[kPropertyFileMax];
    const std::size_t n = std::fread(local, 1, sizeof local, file.get());
    if (std::ferror(file.get())) {
        setCodeWithFileLine(status, qxerr::qxapalerr_fileReadFailed, kReadFailed);
        return;
    }
    if (byteCount) *byteCount = n;
    if (buffer == nullptr || bufferSize < n) {
        setCodeWithFileLine(status, qxerr::qxapalerr_bufferTooSmall, kBufferTooSmall);
        return;
    }
    if (n > 0) std::memcpy(buffer, local, n);
}

}  // namespace qxapal
