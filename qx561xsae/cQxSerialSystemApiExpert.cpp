// SPDX-License-Identifier: MIT
#include "qx561xsae/cQxSerialSystemApiExpert.h"

#include <algorithm>

#include "platform/qxerr/Exception.h"
#include "qx561xsae/cItemAllocator.h"
#include "qx561xsae/cLinuxDataStore.h"
#include "qx561xsae/cSerialExpertException.h"
#include "shared/qx561x/cEnumeratorFactory.h"
#include "shared/qx561x/cPropertyAccessorFactory.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"
#include "sysapicpp/propbag/TagIterator.h"

namespace qx561xsae {
namespace {

using sysapicpp::PropertyBagHandle;

constexpr char kModule[] = "qx561xsae/cQxSerialSystemApiExpert";
constexpr int32_t kUnsupported = 154;
constexpr char kWorkerName[] = "qx561xsae::Worker";
constexpr char kWatchedDirectory[] = "/etc/qxserial";
// A failing read of the host's bag is reported where every other failing bag read is.
constexpr char kBagReadModule[] = "sysapicpp/propbag/PropertyBagHandle";
constexpr int32_t kBagReadFailed = 298;
constexpr char kEmptyBagMessage[] =
    "cQxSerialSystemApiExpert::getPropertiesOfItem throwing E_SYSAPI_ITEM_NOT_EXIST due to "
    "empty property bag.";

bool hasNoTag(const PropertyBagHandle& bag) {
    if (const auto* own = dynamic_cast<const CcxDynamicPropertyBag*>(bag.get())) return own->empty();
    IcxSysEnumPropertyTag* tags = nullptr;
    if (bag.get()->EnumTags(&tags) == sysapicpp::S_FALSE || !tags) return true;
    QXComPtr<IcxSysEnumPropertyTag> owned(tags, false);
    uint32_t first = 0;
    uint32_t fetched = 0;
    owned->Next(1, &first, &fetched);
    return fetched == 0;
}

// The host bag's modified tags, in the order its enumerator gives them.
std::vector<uint32_t> modifiedTags(IcxSysPropertyBag4* bag) {
    IcxSysEnumPropertyTag* tags = nullptr;
    const sysapicpp::HRESULT hr = bag->EnumModifiedTags(&tags);
    if (sysapicpp::failed(hr)) throw sysapicpp::HResultException(hr, kBagReadModule, kBagReadFailed);
    std::vector<uint32_t> result;
    if (hr == sysapicpp::S_FALSE) return result;
    for (uint32_t tag : sysapicpp::TagRange(QXComPtr<IcxSysEnumPropertyTag>(tags, false).get()))
        result.push_back(tag);
    return result;
}

}  // namespace

cQxSerialSystemApiExpert::cQxSerialSystemApiExpert(sysapicpp::SyncNotificationHandler& hostHandler)
    : dataStore(std::make_shared<cLinuxDataStore>(std::make_unique<qx561x::cEnumeratorFactory>(),
                                                  std::make_unique<qx561x::cPropertyAccessorFactory>())),
      itemFactory(dataStore.get(), std::make_unique<cItemAllocator>()),
      itemCache(std::make_shared<sysapicpp::ItemCache>(itemFactory)),
      cacheExpert(itemCache, hostHandler, kWorkerName),
      configurationMonitor(kWatchedDirectory, dataStore, itemCache,
                           cacheExpert.notificationHandler()) {}

cQxSerialSystemApiExpert::~cQxSerialSystemApiExpert() = default;

GUID cQxSerialSystemApiExpert::getExpertId() { return kExpertId; }
std::string cQxSerialSystemApiExpert::getExpertName() { return "QX-Serial"; }
std::string cQxSerialSystemApiExpert::getExpertVersion() { return "23.8"; }
std::string cQxSerialSystemApiExpert::getExpertCategory() { return "serial"; }

// Items the refresh adds are described from one read of each board and of the file.
void cQxSerialSystemApiExpert::refresh() {
    configurationMonitor.checkWatching();
    const std::unique_ptr<iReadScope> scope = dataStore->beginReadScope();
    itemCache->refresh();
}

sysapicpp::ItemRef cQxSerialSystemApiExpert::refreshedItem(const std::string& name) {
    refresh();
    return itemCache->getItem(name);
}

std::vector<std::string> cQxSerialSystemApiExpert::enumerateItemNames() {
    refresh();
    std::vector<std::string> names;
    itemCache->getItemNames(names);
    return names;
}

std::vector<PropertyBagHandle> cQxSerialSystemApiExpert::getAllItemProperties() {
    // Every item's record from one read of each board and of the file, as of one moment.
    const std::unique_ptr<iReadScope> scope = dataStore->beginReadScope();
    refresh();
    std::vector<PropertyBagHandle> bags;
    {
        const std::vector<sysapicpp::ItemRef> items = itemCache->getAllItems();
        bags.reserve(bags.size() + items.size());
        for (const sysapicpp::ItemRef& item : items) {
            item->updateProperties();
            bags.push_back(item->getPropertyBag());
        }
    }
    bags.erase(std::remove_if(bags.begin(), bags.end(), hasNoTag), bags.end());
    return bags;
}

PropertyBagHandle cQxSerialSystemApiExpert::getPropertiesOfItem(const std::string& name) {
    PropertyBagHandle bag;
    {
        const sysapicpp::ItemRef item = refreshedItem(name);
        item->updateProperties();
        bag = item->getPropertyBag();
    }
    if (hasNoTag(bag)) throw cSerialExpertException(kEmptyBagMessage, sysapicpp::E_SYSAPI_ITEM_NOT_EXIST);
    return bag;
}

PropertyBagHandle cQxSerialSystemApiExpert::getPropertiesOfItemByTags(
    const std::string& name, const std::vector<uint32_t>& tags, bool allowPending) {
    refresh();
    return cacheExpert.getPropertiesOfItemByTags(name, tags, allowPending);
}

void cQxSerialSystemApiExpert::unsupportedOperation() {
    throw sysapicpp::NotImplException(kModule, kUnsupported);
}

void cQxSerialSystemApiExpert::renameAlias(const std::string& name, const std::string& alias,
                                           bool flag, std::string& message) {
    refreshedItem(name)->renameAlias(alias, flag, message);
}

void cQxSerialSystemApiExpert::validatePropertiesOfItem(const std::string& name,
                                                        IcxSysPropertyBag4* bag,
                                                        std::set<uint32_t>& accepted,
                                                        std::string& message) {
    refresh();
    const std::vector<uint32_t> tags = modifiedTags(bag);
    itemCache->getItem(name)->validateProperties(bag, tags, accepted, message);
}

void cQxSerialSystemApiExpert::setPropertiesOfItem(const std::string& name,
                                                   IcxSysPropertyBag4* bag, bool& flag,
                                                   std::string& message) {
    refresh();
    const std::vector<uint32_t> tags = modifiedTags(bag);
    itemCache->getItem(name)->applyProperties(bag, tags, flag, message);
}

void cQxSerialSystemApiExpert::performDeviceReset(const std::string& name, int32_t mode,
                                                  bool& flag, std::string& message) {
    refreshedItem(name)->performDeviceReset(mode, flag, message);
}

void cQxSerialSystemApiExpert::diagnosticSelfTest(const std::string& name, int32_t mode,
                                                  std::string& message) {
    refreshedItem(name)->diagnosticSelfTest(mode, message);
}

void cQxSerialSystemApiExpert::diagnosticSelfCalibrate(const std::string& name,
                                                       std::string& message) {
    refreshedItem(name)->diagnosticSelfCalibrate(message);
}

sysapicpp::HRESULT cQxSerialSystemApiExpert::translateException(std::string*) {
    try {
        throw;
    } catch (const qxerr::ExceptionBase& failure) {
        return sysapicpp::hresultFromStatusCode(failure.getCode());
    } catch (const cSerialExpertException& failure) {
        return failure.getCode();
    }
}

}  // namespace qx561xsae
