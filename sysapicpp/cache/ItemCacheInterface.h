// SPDX-License-Identifier: MIT
#pragma once
// The expert's items by name, with change reports that any thread may make and that
// the next refresh applies.

#include <cstdint>
#include <string>
#include <vector>

#include "sysapicpp/cache/Item.h"

namespace sysapicpp {

class ItemCacheInterface {
public:
    virtual ~ItemCacheInterface() = default;
    virtual void refresh() = 0;
    // Appends all item names in byte-wise order.
    virtual void getItemNames(std::vector<std::string>& names) = 0;
    virtual bool isEmpty() = 0;
    // ItemNotExistException when the name is not cached.
    virtual ItemRef getItem(const std::string& name) = 0;
    virtual bool hasItem(const std::string& name) = 0;
    virtual std::vector<ItemRef> getAllItems() = 0;
    virtual void addedItems(const std::vector<std::string>& names) = 0;
    virtual void addedItem(const std::string& name) = 0;
    virtual void changedItems(const std::vector<std::string>& names) = 0;
    virtual void changedItem(const std::string& name) = 0;
    virtual void removedItems(const std::vector<std::string>& names) = 0;
    virtual void removedItem(const std::string& name) = 0;
    // By ChangeType; kChangeTypeInvalid throws UnexpectedException, other values are ignored.
    virtual void reportChange(int32_t type, const std::string& name) = 0;
    virtual void reportChange(int32_t type, const std::vector<std::string>& names) = 0;
};

}  // namespace sysapicpp
