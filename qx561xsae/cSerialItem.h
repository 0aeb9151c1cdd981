// SPDX-License-Identifier: MIT
#pragma once
// What boards and ports have in common as items: a name, a bag of values filled from the
// data store, and the lock that serialises every fill, copy and change.

#include <atomic>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/qx/dsc/Noncopyable.h"
#include "platform/qxapal/CqxCS.h"
#include "qx561xsae/iSerialDataStore.h"
#include "qx561xsae/tBagAccessor.h"
#include "sysapicpp/cache/Item.h"

namespace qx561xsae {

class cSerialItem : public sysapicpp::Item, private qx::dsc::Noncopyable {
public:
    int32_t getTagState(uint32_t tag) override;
    void invalidate() override;
    bool updateTags(const std::vector<uint32_t>& tags) override;
    sysapicpp::PropertyBagHandle getPropertyBag() override;
    std::string getName() override;
    void hook() override;
    void renameAlias(const std::string& alias, bool flag, std::string& text) override;
    void performDeviceReset(int32_t mode, bool& flag, std::string& message) override;
    void diagnosticSelfTest(int32_t mode, std::string& message) override;
    void diagnosticSelfCalibrate(std::string& message) override;

protected:
    // dataStore: not owned; it outlives every item.
    cSerialItem(std::string name, iSerialDataStore* dataStore);

    // Writes the values every item publishes, once per load.
    void fillCommon();

    const std::string name;
    iSerialDataStore* const dataStore;
    tBagAccessor bag;
    qxapal::CqxCS lock;
    // Whether the values are current; invalidate clears it from other threads without the
    // lock, hence atomic.
    std::atomic<bool> loaded{false};
    // Whether the bag was ever filled: an invalidated item still has the values it read last.
    bool filled = false;
};

}  // namespace qx561xsae
