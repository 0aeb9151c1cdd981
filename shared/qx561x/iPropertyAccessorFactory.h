// SPDX-License-Identifier: MIT
#pragma once
// Creates the accessors of boards and ports.

#include <memory>
#include <string>

#include "shared/qx561x/iDevicePropertyAccessor.h"
#include "shared/qx561x/iPortPropertyAccessor.h"

namespace qx561x {

class iPropertyAccessorFactory {
public:
    virtual ~iPropertyAccessorFactory() = default;

    virtual std::unique_ptr<iDevicePropertyAccessor> createDevicePropertyAccessor(
        const std::string& devicePath) = 0;
    virtual std::unique_ptr<iPortPropertyAccessor> createPortPropertyAccessor(
        const std::string& portName) = 0;
};

}  // namespace qx561x
