// SPDX-License-Identifier: MIT
#pragma once
// A board as an item: its description, loaded once and again after invalidate.

#include "qx561xsae/cSerialItem.h"

namespace qx561xsae {

class cSerialDeviceItem : public cSerialItem {
public:
    // Reads the board's record and fills the bag; throws what the data store throws.
    cSerialDeviceItem(const std::string& name, iSerialDataStore* dataStore);

    void updateProperties() override;
    void validateProperties(IcxSysPropertyBag4* hostBag, const std::vector<uint32_t>& tags,
                            std::set<uint32_t>& accepted, std::string& message) override;
    void applyProperties(IcxSysPropertyBag4* hostBag, const std::vector<uint32_t>& tags,
                         bool& flag, std::string& message) override;

private:
    void fill(const tDeviceInfo& info);
};

}  // namespace qx561xsae
