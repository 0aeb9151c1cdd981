// SPDX-License-Identifier: MIT
#pragma once
// Creates cursors over the driver's per-board directories.

#include <memory>

#include "shared/qx561x/iDeviceIterator.h"

namespace qx561x {

class iDeviceIteratorFactory {
public:
    virtual ~iDeviceIteratorFactory() = default;

    // Throws qxerr::Exception when the directory list cannot be read.
    virtual std::unique_ptr<iDeviceIterator> createDeviceIterator() = 0;
};

}  // namespace qx561x
