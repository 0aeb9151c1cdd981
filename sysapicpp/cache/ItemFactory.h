// SPDX-License-Identifier: MIT
#pragma once
// How the item cache learns which items exist and gets objects for them.

#include <string>
#include <vector>

#include "sysapicpp/cache/Item.h"

namespace sysapicpp {

class ItemFactory {
public:
    virtual ~ItemFactory() = default;                                                 // 0, 1
    // Appends the names of all items that exist now.
    virtual void getItemNames(std::vector<std::string>& names) = 0;                   // 2
    // New item objects for the given names.
    virtual std::vector<ItemRef> createItems(const std::vector<std::string>& names) = 0;  // 3
};

}  // namespace sysapicpp
