// SPDX-License-Identifier: MIT
#pragma once
// Creates the enumerators of boards and ports.

#include <memory>

#include "shared/qx561x/iDeviceEnumerator.h"
#include "shared/qx561x/iPortEnumerator.h"

namespace qx561x {

class iEnumeratorFactory {
public:
    virtual ~iEnumeratorFactory() = default;

    virtual std::unique_ptr<iDeviceEnumerator> createDeviceEnumerator() = 0;
    virtual std::unique_ptr<iPortEnumerator> createPortEnumerator() = 0;
};

}  // namespace qx561x
