// SPDX-License-Identifier: MIT
#pragma once
// The plug-in's view of boards, ports and the configuration file.

#include <cstdint>
#include <memory>
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

// A stored RS-485 value that is none of the model's modes is reported as this value,
// itself no mode.
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

// A change of a port's setting that the plug-in refused.
struct tRefusal {
    std::string itemName;
    std::string node;  // the port's device node
    const char* key = "";  // the setting's key in the configuration file
    uint32_t value = 0;
    std::string reason;
    bool checkOnly = false;  // the host only asked whether it would be accepted
};

// While one lives, its thread's calls to the data store that made it answer as of one
// moment (see iSerialDataStore::beginReadScope).
class iReadScope {
public:
    virtual ~iReadScope() = default;
};

// Every call reads the hardware and the file afresh, unless its thread is in a read scope;
// safe from any thread. Failures throw.
class iSerialDataStore : private boost::noncopyable {
public:
    virtual ~iSerialDataStore() = default;
    // Each board's item name followed by its ports' names.
    virtual std::vector<std::string> listItemNames() = 0;
    virtual tDeviceInfo getDeviceInfo(const std::string& itemName) = 0;
    virtual tPortInfo getPortInfo(const std::string& itemName) = 0;
    // Stores the record's three settings for the port and applies them to the hardware.
    virtual void savePortConfiguration(const std::string& itemName, const tPortInfo& info) = 0;
    // Until the scope ends, this thread's calls may answer from what the scope's earlier
    // calls read (each board's port list, each item's record, the configuration file):
    // a listing and the records of its items then cost one read of each, and show one
    // moment. Saving is never answered from a scope. Scopes nest. Other threads are not
    // affected, but for one sharing: scopes begun while the data store's very first scope
    // lasts join its moment, so that a new host and the monitor read the boards once
    // between them. May return null when there is nothing to share.
    virtual std::unique_ptr<iReadScope> beginReadScope() = 0;
    // Says in the system log, as it says every change it stores. Never throws.
    virtual void logRefusal(const tRefusal& refusal) noexcept = 0;
};

}  // namespace qx561xsae
