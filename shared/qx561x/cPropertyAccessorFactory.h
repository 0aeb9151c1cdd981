// SPDX-License-Identifier: MIT
#pragma once
// Accessors of boards and ports, wired to the driver's directories and the PXI library.

#include "shared/qx561x/iPropertyAccessorFactory.h"

namespace qx561x {

class cPropertyAccessorFactory : public iPropertyAccessorFactory {
public:
    // The board's driver directory is "/proc/driver/qx/pci:" + the device path's last element.
    std::unique_ptr<iDevicePropertyAccessor> createDevicePropertyAccessor(
        const std::string& devicePath) override;
    // The port's board is its entry two levels up, read without the PXI library; its ports
    // are listed by a cEnumeratorFactory. Or both as the caller gives them.
    std::unique_ptr<iPortPropertyAccessor> createPortPropertyAccessor(
        const std::string& portName) override;
    std::unique_ptr<iPortPropertyAccessor> createPortPropertyAccessor(
        const std::string& portName, const BoardAccessorSource& board,
        std::unique_ptr<iEnumeratorFactory> enumerators) override;
};

}  // namespace qx561x
