// SPDX-License-Identifier: MIT
#pragma once
// Every item the plug-in offers, with its bag, and the ways a person may name one.

#include <string>
#include <vector>

#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace qxhost {

struct CatalogItem {
    std::string name;  // the item name
    bool port = false;
    std::string path;  // the board's or port's device-tree path
    sysapicpp::PropertyBagHandle bag;
};

// All items with their properties, in the plug-in's order.
std::vector<CatalogItem> readCatalog(IcxSysExpert2& expert);

// The item name for what a person typed: an item name, a port node, a device-tree path or
// a board's PCI address. A name that matches nothing is passed on as it is, so that the
// plug-in says it does not exist.
std::string resolveName(IcxSysExpert2& expert, const std::string& typed);

// The item's properties (GetItemProperties).
sysapicpp::PropertyBagHandle readItem(IcxSysExpert2& expert, const std::string& name);

}  // namespace qxhost
