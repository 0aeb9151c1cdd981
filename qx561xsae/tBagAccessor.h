// SPDX-License-Identifier: MIT
#pragma once
// The typed, throwing view of a bag that the items write their values through.

#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyBagAccessor.h"

namespace qx561xsae {

class tBagAccessor : public virtual sysapicpp::SystemAPIPropertyBagAccessor,
                     public virtual sysapicpp::SerialPropertyBagAccessor {
public:
    // Adds a reference to the bag, released when the accessor ends.
    explicit tBagAccessor(IcxSysPropertyBag4* bag) : sysapicpp::PropertyBagHandle(bag) {}
    explicit tBagAccessor(const sysapicpp::PropertyBagHandle& bag)
        : sysapicpp::PropertyBagHandle(bag) {}
};

}  // namespace qx561xsae
