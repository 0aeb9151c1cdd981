// SPDX-License-Identifier: MIT
#include "sysapicpp/cache/ItemCache.h"

#include <utility>

#include "platform/qxerr/Status.h"
#include "sysapicpp/HResultException.h"

namespace sysapicpp {
namespace {

constexpr char kModule[] = "sysapicpp/cache/ItemCache";
constexpr qxerr::SourceLocation kItemNotExist{kModule, 44, qxerr::kComponent,
                                              "E_SYSAPI_ITEM_NOT_EXIST"};
constexpr qxerr::SourceLocation kInvalidChangeType{kModule, 129, qxerr::kComponent,
                                                   "E_UNEXPECTED"};
constexpr qxerr::SourceLocation kInvalidChangeTypeList{kModule, 146, qxerr::kComponent,
                                                       "E_UNEXPECTED"};

// Prepends front to list.
void prepend(std::vector<std::string>& list, std::vector<std::string>& front) {
    front.insert(front.end(), std::make_move_iterator(list.begin()),
                 std::make_move_iterator(list.end()));
    list.swap(front);
}

}  // namespace

ItemCache::ItemCache(ItemFactory& factory) : factory_(factory) {}

void ItemCache::refresh() {
    qxapal::CqxCSLock items(itemsLock_);
    Reports taken;
    bool wasLoaded = false;
    {
        qxapal::CqxCSLock pending(pendingLock_);
        std::swap(taken, pending_);
        wasLoaded = std::exchange(loaded_, true);
    }
    try {
        if (wasLoaded) {
            apply(taken);
        } else {
            // The factory's list is complete: earlier reports say nothing more.
            Reports everything;
            factory_.getItemNames(everything.added);
            apply(everything);
        }
    } catch (...) {
        restore(taken, wasLoaded);
        throw;
    }
}

void ItemCache::apply(const Reports& reports) {
    for (const std::string& name : reports.removed) items_.erase(name);
    for (const std::string& name : reports.changed) {
        const auto found = items_.find(name);
        if (found != items_.end()) found->second->invalidate();
    }
    if (reports.added.empty()) return;
    for (ItemRef& item : factory_.createItems(reports.added)) {
        if (!item) continue;
        std::string name = item->getName();
        // An existing entry stays; the new object goes with the vector.
        items_.try_emplace(std::move(name), std::move(item));
    }
}

void ItemCache::restore(Reports& taken, bool wasLoaded) {
    qxapal::CqxCSLock pending(pendingLock_);
    prepend(pending_.added, taken.added);
    prepend(pending_.changed, taken.changed);
    prepend(pending_.removed, taken.removed);
    if (!wasLoaded) loaded_ = false;
}

void ItemCache::getItemNames(std::vector<std::string>& names) {
    qxapal::CqxCSLock items(itemsLock_);
    names.reserve(names.size() + items_.size());
    for (const auto& entry : items_) names.push_back(entry.first);
}

bool ItemCache::isEmpty() {
    qxapal::CqxCSLock items(itemsLock_);
    return items_.empty();
}

ItemRef ItemCache::getItem(const std::string& name) {
    qxapal::CqxCSLock items(itemsLock_);
    const auto found = items_.find(name);
    if (found == items_.end()) {
        throw ItemNotExistException(kItemNotExist.file, kItemNotExist.line,
                                    kItemNotExist.component);
    }
    return found->second;
}

bool ItemCache::hasItem(const std::string& name) {
    qxapal::CqxCSLock items(itemsLock_);
    return items_.count(name) != 0;
}

std::vector<ItemRef> ItemCache::getAllItems() {
    qxapal::CqxCSLock items(itemsLock_);
    std::vector<ItemRef> all;
    all.reserve(items_.size());
    for (const auto& entry : items_) all.push_back(entry.second);
    return all;
}

void ItemCache::append(std::vector<std::string>& list, const std::vector<std::string>& names) {
    qxapal::CqxCSLock pending(pendingLock_);
    list.insert(list.end(), names.begin(), names.end());
}

void ItemCache::addedItems(const std::vector<std::string>& names) { append(pending_.added, names); }
void ItemCache::addedItem(const std::string& name) { addedItems({name}); }
void ItemCache::changedItems(const std::vector<std::string>& names) {
    append(pending_.changed, names);
}
void ItemCache::changedItem(const std::string& name) { changedItems({name}); }
void ItemCache::removedItems(const std::vector<std::string>& names) {
    append(pending_.removed, names);
}
void ItemCache::removedItem(const std::string& name) { removedItems({name}); }

void ItemCache::reportChange(int32_t type, const std::string& name) {
    if (type == kChangeTypeInvalid) {
        throw UnexpectedException(kInvalidChangeType.file, kInvalidChangeType.line,
                                  kInvalidChangeType.component);
    }
    reportChange(type, std::vector<std::string>{name});
}

void ItemCache::reportChange(int32_t type, const std::vector<std::string>& names) {
    switch (type) {
        case kItemsAdded:
            addedItems(names);
            break;
        case kItemsRemoved:
            removedItems(names);
            break;
        case kItemsChanged:
            changedItems(names);
            break;
        case kChangeTypeInvalid:
            throw UnexpectedException(kInvalidChangeTypeList.file, kInvalidChangeTypeList.line,
                                      kInvalidChangeTypeList.component);
        default:
            break;
    }
}

}  // namespace sysapicpp
