// SPDX-License-Identifier: MIT
#pragma once
// What the item cache and the expert need of an item. The declaration order is the
// slot order of the framework's item table and must not change.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace sysapicpp {

// Change types of reports and notifications.
enum ChangeType : int32_t {
    kItemsAdded = 1,
    kItemsRemoved = 2,
    kItemsChanged = 3,
    kChangeTypeInvalid = 4,  // never valid in a report
};

// Tag states: only kTagStateStale makes the framework read a value in the background.
enum TagState : int32_t {
    kTagStateCurrent = 1,
    kTagStateStale = 2,
};

class Item {
public:
    virtual ~Item() = default;                                                        // 0, 1
    virtual int32_t getTagState(uint32_t tag) = 0;                                    // 2
    // Forgets the cached values so that the next update reads them again.
    virtual void invalidate() = 0;                                                    // 3
    virtual void updateProperties() = 0;                                              // 4
    // Reads the tags' values now; whether any of them changed.
    virtual bool updateTags(const std::vector<uint32_t>& tags) = 0;                   // 5
    // A new copy of the item's bag, owned by the caller.
    virtual PropertyBagHandle getPropertyBag() = 0;                                   // 6
    virtual std::string getName() = 0;                                                // 7
    virtual void hook() = 0;                                                          // 8
    virtual void renameAlias(const std::string& alias, bool flag, std::string& text) = 0;  // 9
    // hostBag: the host's bag; tags: its modified tags, in its order.
    virtual void validateProperties(IcxSysPropertyBag4* hostBag, const std::vector<uint32_t>& tags,
                                    std::set<uint32_t>& accepted, std::string& message) = 0;  // 10
    virtual void applyProperties(IcxSysPropertyBag4* hostBag, const std::vector<uint32_t>& tags,
                                 bool& flag, std::string& message) = 0;               // 11
    virtual void performDeviceReset(int32_t mode, bool& flag, std::string& message) = 0;  // 12
    virtual void diagnosticSelfTest(int32_t mode, std::string& message) = 0;          // 13
    virtual void diagnosticSelfCalibrate(std::string& message) = 0;                   // 14
};

// Items are shared between the cache, running tasks and host calls; the count is atomic.
template <class T>
using SharedPtrHelper = std::shared_ptr<T>;
using ItemRef = SharedPtrHelper<Item>;

}  // namespace sysapicpp
