// SPDX-License-Identifier: MIT
#pragma once
// A port as an item: its settings as the configuration file holds them now, checked
// against the port's bounds when the host changes them, then saved and applied.

#include "qx561xsae/cSerialItem.h"

namespace qx561xsae {

class cSerialPortItem : public cSerialItem {
public:
    // Reads the port's record and fills the bag; throws what the data store throws.
    cSerialPortItem(const std::string& name, iSerialDataStore* dataStore);

    // Rereads the record on every call, so the bag follows the file.
    void updateProperties() override;
    void validateProperties(IcxSysPropertyBag4* hostBag, const std::vector<uint32_t>& tags,
                            std::set<uint32_t>& accepted, std::string& message) override;
    void applyProperties(IcxSysPropertyBag4* hostBag, const std::vector<uint32_t>& tags,
                         bool& flag, std::string& message) override;

private:
    void fill(const tPortInfo& info);
};

}  // namespace qx561xsae
