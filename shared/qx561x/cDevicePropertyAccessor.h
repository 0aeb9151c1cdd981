// SPDX-License-Identifier: MIT
#pragma once
// One board: the driver's property files under its interface directory, the product
// table's facts for its model, and optionally the PXI query library's description.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/qxqpxi/QPXILibrary.h"
#include "shared/qx561x/ProductTable.h"
#include "shared/qx561x/iDevicePropertyAccessor.h"

namespace qx561x {

class cDevicePropertyAccessor : public iDevicePropertyAccessor {
public:
    // Reads the board's device ID; throws qxerr::Exception when it cannot be read or names
    // no product. The library may be null or unloaded.
    cDevicePropertyAccessor(const std::string& devicePath, const std::string& interfaceDirectory,
                            std::unique_ptr<qxqpxi::QPXILibrary> library);
    cDevicePropertyAccessor(const cDevicePropertyAccessor&) = delete;
    cDevicePropertyAccessor& operator=(const cDevicePropertyAccessor&) = delete;

    std::string getDevicePath() override;
    std::string getPciSlotPath() override;
    uint32_t getPciDeviceId() override;
    uint32_t getPciBusNumber() override;
    uint32_t getPciDeviceNumber() override;
    uint32_t getPciFunctionNumber() override;
    std::string getSerialNumber() override;
    std::string getModelName() override;
    std::string getDescription() override;
    int32_t getPortCount() override;
    uint32_t getBusType() override;

private:
    std::string busProperty(const char* name) const;
    std::string deviceProperty(const char* name) const;
    uint32_t readU32(const std::string& path) const;
    // The file's bytes (at most 4096), cut at the first NUL.
    std::string readText(const std::string& path, std::size_t& byteCount) const;
    std::string pxiDescription();

    std::string devicePath_;
    std::string interfaceDirectory_;
    uint32_t pciDeviceId_ = 0;
    ProductInfo product_{};
    std::unique_ptr<qxqpxi::QPXILibrary> library_;
};

}  // namespace qx561x
