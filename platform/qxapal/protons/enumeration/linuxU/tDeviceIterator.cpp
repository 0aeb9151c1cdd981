// SPDX-License-Identifier: MIT
#include "platform/qxapal/protons/enumeration/linuxU/tDeviceIterator.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "platform/qxapal/protons/enumeration/linuxU/linuxDevEnumHelper.h"

namespace qxapal {
namespace {

constexpr qxerr::SourceLocation kGlobFailed{"qxapal/protons/enumeration/linuxU/tDeviceIterator",
                                            42, qxerr::kComponent, "qxapalerr_resourceNotFound"};
constexpr qxerr::SourceLocation kNameNoMemory{"qxapal/protons/containers/tBasicString", 1641,
                                              qxerr::kComponent, "qxapalerr_memoryFull"};

constexpr const char kDriverRoot[] = "/proc/driver/qx/";
constexpr std::size_t kDriverRootLength = sizeof kDriverRoot - 1;
constexpr std::size_t kPathMax = 4096;

bool isDirectory(const char* path) {
    struct stat info;
    return ::stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

tDeviceIterator::tDeviceIterator(tStatus* status) {
    char pattern[kPathMax];
    std::snprintf(pattern, sizeof pattern, "%s*", kDriverRoot);
    const int result = ::glob(pattern, GLOB_ONLYDIR, nullptr, &glob_);
    if (result == 0) {
        cursor_ = glob_.gl_pathv;
        skipNonDirectories();
    } else if (result != GLOB_NOMATCH) {
        setCodeWithFileLine(status, qxerr::qxapalerr_resourceNotFound, kGlobFailed);
    }
}

tDeviceIterator::~tDeviceIterator() { ::globfree(&glob_); }

bool tDeviceIterator::atEnd() const { return cursor_ == nullptr || *cursor_ == nullptr; }

void tDeviceIterator::next() {
    if (atEnd()) return;
    ++cursor_;
    skipNonDirectories();
}

// GLOB_ONLYDIR is only a hint to the C library: where the file system does not report
// entry types, plain files would come through.
void tDeviceIterator::skipNonDirectories() {
    while (!atEnd() && !isDirectory(*cursor_)) ++cursor_;
}

void tDeviceIterator::getName(tBasicString& target, tStatus* status) const {
    if (status == nullptr || status->isFatal()) return;
    target.clear();
    const char* path = atEnd() ? kDriverRoot : *cursor_;
    const char* name = std::strlen(path) >= kDriverRootLength ? path + kDriverRootLength : "";
    if (!target.assign(name))
        setCodeWithFileLine(status, qxerr::qxapalerr_memoryFull, kNameNoMemory);
}

void tDeviceIterator::readBusProperty(const char* name, void* buffer, std::size_t bufferSize,
                                      std::size_t* byteCount, tStatus* status) const {
    readProperty("busProperties", name, buffer, bufferSize, byteCount, status);
}

void tDeviceIterator::readDeviceProperty(const char* name, void* buffer, std::size_t bufferSize,
                                         std::size_t* byteCount, tStatus* status) const {
    readProperty("deviceProperties", name, buffer, bufferSize, byteCount, status);
}

void tDeviceIterator::readProperty(const char* subdirectory, const char* name, void* buffer,
                                   std::size_t bufferSize, std::size_t* byteCount,
                                   tStatus* status) const {
    if (status == nullptr || status->isFatal()) return;
    // Past the end there is no board: the read fails as for a vanished one.
    char path[kPathMax] = "";
    if (!atEnd()) std::snprintf(path, sizeof path, "%s/%s/%s", *cursor_, subdirectory, name);
    readPropertyFile(path, buffer, bufferSize, byteCount, status);
}

}  // namespace qxapal
