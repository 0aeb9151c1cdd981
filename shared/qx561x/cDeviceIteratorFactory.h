// SPDX-License-Identifier: MIT
#pragma once
// Device iterators over the driver's directories under /proc/driver/qx.

#include "shared/qx561x/iDeviceIteratorFactory.h"

namespace qx561x {

class cDeviceIteratorFactory : public iDeviceIteratorFactory {
public:
    std::unique_ptr<iDeviceIterator> createDeviceIterator() override;
};

}  // namespace qx561x
