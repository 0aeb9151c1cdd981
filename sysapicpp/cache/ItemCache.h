// SPDX-License-Identifier: MIT
#pragma once
// The expert's items by name. Reports from any thread wait in pending lists; refresh
// applies them, asking the factory for what it needs.

#include <map>
#include <string>
#include <vector>

#include "platform/qx/dsc/Noncopyable.h"
#include "platform/qxapal/CqxCS.h"
#include "sysapicpp/cache/ItemCacheInterface.h"
#include "sysapicpp/cache/ItemFactory.h"

namespace sysapicpp {

class ItemCache final : public ItemCacheInterface, private qx::dsc::Noncopyable {
public:
    // The factory is not owned and must outlive the cache.
    explicit ItemCache(ItemFactory& factory);

    // The first refresh loads every name the factory lists and ignores earlier reports;
    // later ones apply removals, then changes, then additions. When it fails, the
    // reports it took go back in front of newer ones, and a failed first load stays
    // unloaded, so the next refresh tries again.
    void refresh() override;
    void getItemNames(std::vector<std::string>& names) override;
    bool isEmpty() override;
    ItemRef getItem(const std::string& name) override;
    bool hasItem(const std::string& name) override;
    std::vector<ItemRef> getAllItems() override;
    void addedItems(const std::vector<std::string>& names) override;
    void addedItem(const std::string& name) override;
    void changedItems(const std::vector<std::string>& names) override;
    void changedItem(const std::string& name) override;
    void removedItems(const std::vector<std::string>& names) override;
    void removedItem(const std::string& name) override;
    void reportChange(int32_t type, const std::string& name) override;
    void reportChange(int32_t type, const std::vector<std::string>& names) override;

private:
    struct Reports {
        std::vector<std::string> added;
        std::vector<std::string> changed;
        std::vector<std::string> removed;
    };

    // Under pendingLock_.
    void append(std::vector<std::string>& list, const std::vector<std::string>& names);
    // Under itemsLock_: removals, then changes, then additions.
    void apply(const Reports& reports);
    // Puts taken reports back in front of those that arrived since.
    void restore(Reports& taken, bool wasLoaded);

    ItemFactory& factory_;
    qxapal::CqxCS itemsLock_;  // taken before pendingLock_
    std::map<std::string, ItemRef> items_;
    qxapal::CqxCS pendingLock_;
    bool loaded_ = false;
    Reports pending_;
};

}  // namespace sysapicpp
