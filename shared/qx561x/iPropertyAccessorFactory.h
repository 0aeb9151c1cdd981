// SPDX-License-Identifier: MIT
#pragma once
// Creates the accessors of boards and ports.

#include <functional>
#include <memory>
#include <string>

#include "shared/qx561x/iDevicePropertyAccessor.h"
#include "shared/qx561x/iEnumeratorFactory.h"
#include "shared/qx561x/iPortPropertyAccessor.h"

namespace qx561x {

// Hands a port accessor its board's accessor, given the board's device path and the
// factory's own way of making one: a caller describing many ports of one board can make
// it once and share it.
using BoardAccessorSource = std::function<std::unique_ptr<iDevicePropertyAccessor>(
    const std::string& devicePath,
    const std::function<std::unique_ptr<iDevicePropertyAccessor>()>& make)>;

class iPropertyAccessorFactory {
public:
    virtual ~iPropertyAccessorFactory() = default;

    virtual std::unique_ptr<iDevicePropertyAccessor> createDevicePropertyAccessor(
        const std::string& devicePath) = 0;
    virtual std::unique_ptr<iPortPropertyAccessor> createPortPropertyAccessor(
        const std::string& portName) = 0;
    // The same, with the board read through board and its ports listed through enumerators:
    // a caller that describes many ports of one board can read the board once.
    virtual std::unique_ptr<iPortPropertyAccessor> createPortPropertyAccessor(
        const std::string& portName, const BoardAccessorSource& board,
        std::unique_ptr<iEnumeratorFactory> enumerators) = 0;
};

}  // namespace qx561x
