// SPDX-License-Identifier: MIT
#pragma once
// One board, described through the driver's properties and the product table.

#include <cstdint>
#include <string>

namespace qx561x {

class iDevicePropertyAccessor {
public:
    virtual ~iDevicePropertyAccessor() = default;

    virtual std::string getDevicePath() = 0;
    virtual std::string getPciSlotPath() = 0;
    virtual uint32_t getPciDeviceId() = 0;
    virtual uint32_t getPciBusNumber() = 0;
    virtual uint32_t getPciDeviceNumber() = 0;
    virtual uint32_t getPciFunctionNumber() = 0;
    virtual std::string getSerialNumber() = 0;
    virtual std::string getModelName() = 0;
    virtual std::string getDescription() = 0;
    virtual int32_t getPortCount() = 0;
    virtual uint32_t getBusType() = 0;
};

}  // namespace qx561x
