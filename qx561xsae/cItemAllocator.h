// SPDX-License-Identifier: MIT
#pragma once
// Boards become cSerialDeviceItem, ports cSerialPortItem.

#include <boost/core/noncopyable.hpp>

#include "qx561xsae/iItemAllocator.h"

namespace qx561xsae {

class cItemAllocator : public iItemAllocator, private boost::noncopyable {
public:
    sysapicpp::ItemRef createDeviceItem(const std::string& name,
                                        iSerialDataStore* dataStore) override;
    sysapicpp::ItemRef createPortItem(const std::string& name, iSerialDataStore* dataStore) override;
};

}  // namespace qx561xsae
