// SPDX-License-Identifier: MIT
#pragma once
// Walks the driver's per-board directories under /proc/driver/qx, a snapshot taken at
// construction.

#include <glob.h>

#include <cstddef>

#include "platform/qxapal/protons/containers/tBasicString.h"
#include "platform/qxapal/tStatus.h"

namespace qxapal {

class tDeviceIterator {
public:
    // No driver directory is not an error: the iterator is then at its end at once.
    explicit tDeviceIterator(tStatus* status);
    ~tDeviceIterator();
    tDeviceIterator(const tDeviceIterator&) = delete;
    tDeviceIterator& operator=(const tDeviceIterator&) = delete;

    bool atEnd() const;
    void next();

    // The directory's own name, for example "pci:0000:03:00.0".
    void getName(tBasicString& target, tStatus* status) const;
    void readBusProperty(const char* name, void* buffer, std::size_t bufferSize,
                         std::size_t* byteCount, tStatus* status) const;
    void readDeviceProperty(const char* name, void* buffer, std::size_t bufferSize,
                            std::size_t* byteCount, tStatus* status) const;

private:
    void readProperty(const char* subdirectory, const char* name, void* buffer,
                      std::size_t bufferSize, std::size_t* byteCount, tStatus* status) const;
    void skipNonDirectories();

    glob_t glob_{};
    char** cursor_ = nullptr;
};

}  // namespace qxapal
