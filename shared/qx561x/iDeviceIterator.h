// SPDX-License-Identifier: MIT
#pragma once
// A single-pass cursor over the driver's per-board directories.

#include <cstddef>

#include "platform/qxapal/protons/containers/tBasicString.h"
#include "platform/qxapal/tStatus.h"

namespace qx561x {

class iDeviceIterator {
public:
    virtual ~iDeviceIterator() = default;

    // The file `name` of the current directory's busProperties; a null buffer asks only
    // for the size. Failures go into the status.
    virtual void readBusProperty(const char* name, void* buffer, std::size_t bufferSize,
                                 std::size_t* byteCount, qxapal::tStatus* status) = 0;
    // The same for deviceProperties.
    virtual void readDeviceProperty(const char* name, void* buffer, std::size_t bufferSize,
                                    std::size_t* byteCount, qxapal::tStatus* status) = 0;
    // The current directory's name, for example "pci:0000:03:00.0".
    virtual void getInterfaceName(qxapal::tBasicString& name, qxapal::tStatus* status) = 0;
    virtual iDeviceIterator& next() = 0;
    virtual bool atEnd() = 0;
};

}  // namespace qx561x
