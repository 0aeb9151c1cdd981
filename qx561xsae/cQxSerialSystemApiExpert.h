// SPDX-License-Identifier: MIT
#pragma once
// The serial expert: owns the data store, the items, the item cache, the worker threads
// and the configuration monitor, and answers every host request from the cache.

#include <memory>

#include "platform/qx/dsc/Noncopyable.h"
#include "qx561xsae/cConfigurationMonitor.h"
#include "qx561xsae/cQxSerialItemFactory.h"
#include "qx561xsae/iSerialDataStore.h"
#include "sysapicpp/Expert.h"
#include "sysapicpp/SyncNotificationHandler.h"
#include "sysapicpp/cache/ItemCache.h"
#include "sysapicpp/cache/ItemCacheExpert.h"

namespace qx561xsae {

// A host registers the plug-in under this identifier: {5D7C3E1A-8B42-4F6E-9A0D-3C61F2B8E947}.
constexpr GUID kExpertId = {0x5D7C3E1A, 0x8B42, 0x4F6E,
                            {0x9A, 0x0D, 0x3C, 0x61, 0xF2, 0xB8, 0xE9, 0x47}};

class cQxSerialSystemApiExpert : public sysapicpp::Expert, private qx::dsc::Noncopyable {
public:
    // hostHandler: the adapter's, which outlives the expert.
    explicit cQxSerialSystemApiExpert(sysapicpp::SyncNotificationHandler& hostHandler);
    // Stops the monitor first, then the workers; then the cache, the items and the store go.
    ~cQxSerialSystemApiExpert() override;

    GUID getExpertId() override;
    std::string getExpertName() override;
    std::string getExpertVersion() override;
    std::string getExpertCategory() override;
    std::vector<std::string> enumerateItemNames() override;
    std::vector<sysapicpp::PropertyBagHandle> getAllItemProperties() override;
    sysapicpp::PropertyBagHandle getPropertiesOfItem(const std::string& name) override;
    sysapicpp::PropertyBagHandle getPropertiesOfItemByTags(const std::string& name,
                                                           const std::vector<uint32_t>& tags,
                                                           bool allowPending) override;
    void unsupportedOperation() override;
    void renameAlias(const std::string& name, const std::string& alias, bool flag,
                     std::string& message) override;
    void validatePropertiesOfItem(const std::string& name, IcxSysPropertyBag4* bag,
                                  std::set<uint32_t>& accepted, std::string& message) override;
    void setPropertiesOfItem(const std::string& name, IcxSysPropertyBag4* bag, bool& flag,
                             std::string& message) override;
    void performDeviceReset(const std::string& name, int32_t mode, bool& flag,
                            std::string& message) override;
    void diagnosticSelfTest(const std::string& name, int32_t mode, std::string& message) override;
    void diagnosticSelfCalibrate(const std::string& name, std::string& message) override;
    sysapicpp::HRESULT translateException(std::string* message) override;

private:
    // The cache brought up to date; a failure while the configuration cannot be watched,
    // since the cache would no longer hear of changes.
    void refresh();
    // The cache brought up to date, then the named item.
    sysapicpp::ItemRef refreshedItem(const std::string& name);

    std::shared_ptr<iSerialDataStore> dataStore;
    cQxSerialItemFactory itemFactory;
    std::shared_ptr<sysapicpp::ItemCache> itemCache;
    sysapicpp::ItemCacheExpert cacheExpert;
    cConfigurationMonitor configurationMonitor;
};

}  // namespace qx561xsae
