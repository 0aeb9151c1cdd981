// SPDX-License-Identifier: MIT
#include "qx561xsae/cItemAllocator.h"

#include "qx561xsae/cSerialDeviceItem.h"
#include "qx561xsae/cSerialPortItem.h"

namespace qx561xsae {

sysapicpp::ItemRef cItemAllocator::createDeviceItem(const std::string& name,
                                                    iSerialDataStore* dataStore) {
    return std::make_shared<cSerialDeviceItem>(name, dataStore);
}

sysapicpp::ItemRef cItemAllocator::createPortItem(const std::string& name,
                                                  iSerialDataStore* dataStore) {
    return std::make_shared<cSerialPortItem>(name, dataStore);
}

}  // namespace qx561xsae
