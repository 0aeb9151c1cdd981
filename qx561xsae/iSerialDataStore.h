// SPDX-License-Identifier: MIT
#pragma once
// The plug-in's view of boards, ports and the configuration file.

#include <cstdint>
#include <string>
#include <vector>

#include <boost/core/noncopyable.hpp>

namespace qx561xsae {

struct tDeviceInfo {
    std::string modelName;
    std::string itemName;
    std::string description;
    uint32_t pciDeviceId = 0;
    int32_t portCount = 0;
    uint32_t pciBusNumber = 0;
    uint32_t pciDeviceNumber = 0;
    uint32_t pciFunctionNumber = 0;
    std::string serialNumber;
    uint32_t busType = 0;
};

// A stored RS-485 mode above 3 is reported as this value.
constexpr uint32_t kRs485ModeOutOfRange = 4;

struct tPortInfo {
    std::string parentDeviceName;
    std::string portDevicePath;
    uint32_t portNumber = 0;
    uint32_t rxFifoDepthMin = 0;
    uint32_t rxFifoDepthMax = 0;
    uint32_t rxFifoDepthDefault = 0;
    uint32_t rxFifoDepth = 0;
    uint32_t txFifoDepthMin = 0;
    uint32_t txFifoDepthMax = 0;
    uint32_t txFifoDepthDefault = 0;
    uint32_t txFifoDepth = 0;
    bool isRs232 = false;
    uint32_t rs485TransceiverMode = 0;
};

bool operator==(const tPortInfo& a, const tPortInfo& b);
inline bool operator!=(const tPortInfo& a, const tPortInfo& b) { return !(a == b); }

// Every call reads the hardware and the file afresh; safe from any thread. Failures throw.
class iSerialDataStore : private boost::noncopyable {
public:
    virtual ~iSerialDataStore() = default;
    // Each board's item name followed by its ports' names.
    virtual std::vector<std::string> listItemNames() = 0;
    virtual tDeviceInfo getDeviceInfo(const std::string& itemName) = 0;
    virtual tPortInfo getPortInfo(const std::string& itemName) = 0;
    // Stores the record's three settings for the port and applies them to the hardware.
    virtual void savePortConfiguration(const std::string& itemName, const tPortInfo& info) = 0;
};

}  // namespace qx561xsae
