// SPDX-License-Identifier: MIT
#pragma once
// An in-process data store: boards and ports as plain records the test changes at will.

#include <atomic>
#include <map>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "qx561xsae/iSerialDataStore.h"

namespace qxtest {

class FakeDataStore : public qx561xsae::iSerialDataStore {
public:
    std::vector<std::string> listItemNames() override {
        std::lock_guard<std::mutex> guard(mutex);
        ++listings;
        if (failListing) throw std::runtime_error("listing failed");
        if (portsAsListed) listedPorts = ports;
        return names;
    }
    qx561xsae::tDeviceInfo getDeviceInfo(const std::string& name) override {
        std::lock_guard<std::mutex> guard(mutex);
        return devices.at(name);
    }
    qx561xsae::tPortInfo getPortInfo(const std::string& name) override {
        std::lock_guard<std::mutex> guard(mutex);
        if (unreadable.count(name)) throw std::runtime_error("port unreadable");
        return portsAsListed ? listedPorts.at(name) : ports.at(name);
    }
    void savePortConfiguration(const std::string& name, const qx561xsae::tPortInfo& info) override {
        std::lock_guard<std::mutex> guard(mutex);
        saved.emplace_back(name, info);
        if (failSave) throw std::runtime_error("tool failed");
    }
    std::unique_ptr<qx561xsae::iReadScope> beginReadScope() override { return nullptr; }
    void logRefusal(const qx561xsae::tRefusal& refusal) noexcept override {
        std::lock_guard<std::mutex> guard(mutex);
        refusals.push_back(refusal);
    }

    // Adds a board with its ports to the listing.
    void addBoard(const std::string& device, const qx561xsae::tDeviceInfo& info,
                  const std::map<std::string, qx561xsae::tPortInfo>& boardPorts) {
        std::lock_guard<std::mutex> guard(mutex);
        names.push_back(device);
        devices[device] = info;
        for (const auto& [name, port] : boardPorts) {
            names.push_back(name);
            ports[name] = port;
        }
    }

    std::mutex mutex;
    std::atomic<int> listings{0};
    std::vector<std::string> names;
    std::map<std::string, qx561xsae::tDeviceInfo> devices;
    std::map<std::string, qx561xsae::tPortInfo> ports;
    std::set<std::string> unreadable;
    std::vector<qx561xsae::tRefusal> refusals;
    // Ports read as they were at the last listing, so a change made while a pass runs is
    // wholly seen by the next pass rather than half by this one.
    bool portsAsListed = false;
    std::map<std::string, qx561xsae::tPortInfo> listedPorts;
    bool failListing = false;
    bool failSave = false;
    std::vector<std::pair<std::string, qx561xsae::tPortInfo>> saved;
};

// A port record with the bounds every port of the family has.
inline qx561xsae::tPortInfo portRecord(const std::string& parent, uint32_t index, bool rs232,
                                       uint32_t rx = 64, uint32_t tx = 128, uint32_t mode = 3) {
    qx561xsae::tPortInfo info;
    info.parentDeviceName = parent;
    info.portDevicePath = "/dev/ttyQX561xPort" + std::to_string(index);
    info.portNumber = index + 1;
    info.rxFifoDepthMin = 1;
    info.rxFifoDepthMax = 127;
    info.rxFifoDepthDefault = 64;
    info.rxFifoDepth = rx;
    info.txFifoDepthMin = 1;
    info.txFifoDepthMax = 128;
    info.txFifoDepthDefault = 128;
    info.txFifoDepth = tx;
    info.isRs232 = rs232;
    info.rs485TransceiverMode = mode;
    return info;
}

}  // namespace qxtest
