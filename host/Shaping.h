// SPDX-License-Identifier: MIT
#pragma once
// The plug-in's property bags shaped into the records the printers render: one row per
// board and port of a listing, a row per property shown, the changes of a set, an event
// of a watch.

#include <cstdint>
#include <string>
#include <vector>

#include "host/Catalog.h"
#include "host/CommandLine.h"
#include "host/HostError.h"
#include "host/Model.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace qxhost {

// A property the bag lacks is a failure that names the item.
template <class Read>
auto fromBag(const std::string& item, Read read) -> decltype(read()) {
    try {
        return read();
    } catch (const sysapicpp::HResultException& error) {
        throw HostError(kCallProperty, error.getCode(), "a property of the item cannot be read", item);
    }
}

PortRow portRow(const CatalogItem& port);
ListModel listModel(const Catalog& catalog);
ShowItem showItem(const std::string& name, const sysapicpp::PropertyBagHandle& bag);
// after: the bag read back once stored; none for a dry run.
SetPort setPort(const std::string& name, const sysapicpp::PropertyBagHandle& before,
                const sysapicpp::PropertyBagHandle* after, const std::vector<Setting>& settings);
WatchEvent watchEvent(int32_t type, const std::string& name);

}  // namespace qxhost
