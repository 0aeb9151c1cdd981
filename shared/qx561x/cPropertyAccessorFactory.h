// SPDX-License-Identifier: MIT
#pragma once
// Accessors of boards and ports, wired to the driver's directories and the PXI library.

#include <chrono>
#include <mutex>
#include <optional>

#include "shared/qx561x/iPropertyAccessorFactory.h"

namespace qxqpxi {
class QPXILibrary;
}

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

    // How long a failed load of the PXI library spares later boards the search.
    static constexpr std::chrono::seconds kMissingLibraryBelieved{10};

private:
    std::unique_ptr<qxqpxi::QPXILibrary> pxiLibrary();

    std::mutex missingMutex_;
    std::optional<std::chrono::steady_clock::time_point> missingSince_;
};

}  // namespace qx561x
