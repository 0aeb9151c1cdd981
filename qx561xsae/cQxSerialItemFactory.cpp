// SPDX-License-Identifier: MIT
#include "qx561xsae/cQxSerialItemFactory.h"

#include <set>

#include "qx561xsae/ItemNames.h"
#include "sysapicpp/HResultException.h"

namespace qx561xsae {
namespace {

constexpr char kModule[] = "qx561xsae/cQxSerialItemFactory";
constexpr int32_t kNoAllocator = 41;
constexpr int32_t kUnknownKind = 100;

}  // namespace

cQxSerialItemFactory::cQxSerialItemFactory(iSerialDataStore* dataStore,
                                           std::unique_ptr<iItemAllocator> allocator)
    : dataStore(dataStore), allocator(std::move(allocator)) {
    if (!this->allocator) throw sysapicpp::FailException(kModule, kNoAllocator);
}

void cQxSerialItemFactory::getItemNames(std::vector<std::string>& names) {
    for (std::string& name : dataStore->listItemNames()) names.push_back(std::move(name));
}

std::vector<sysapicpp::ItemRef> cQxSerialItemFactory::createItems(
    const std::vector<std::string>& names) {
    const std::set<std::string> ordered(names.begin(), names.end());
    std::vector<sysapicpp::ItemRef> items;
    for (const std::string& name : ordered) {
        const bool port = isPortName(name);
        if (!port && !isDeviceName(name)) throw sysapicpp::FailException(kModule, kUnknownKind);
        try {
            items.push_back(port ? allocator->createPortItem(name, dataStore)
                                 : allocator->createDeviceItem(name, dataStore));
        } catch (const std::exception&) {
            // A board or port that cannot be described now is not offered to the host.
        }
    }
    return items;
}

}  // namespace qx561xsae
