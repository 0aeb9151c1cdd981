// SPDX-License-Identifier: MIT
#pragma once
// Makes the item objects of the factory; tests give the factory one of their own.

#include <string>

#include "qx561xsae/iSerialDataStore.h"
#include "sysapicpp/cache/Item.h"

namespace qx561xsae {

class iItemAllocator {
public:
    virtual ~iItemAllocator() = default;
    virtual sysapicpp::ItemRef createDeviceItem(const std::string& name,
                                                iSerialDataStore* dataStore) = 0;
    virtual sysapicpp::ItemRef createPortItem(const std::string& name,
                                              iSerialDataStore* dataStore) = 0;
};

}  // namespace qx561xsae
