// SPDX-License-Identifier: MIT
#pragma once
// Tells the item cache which boards and ports exist and makes their items.

#include <memory>

#include <boost/core/noncopyable.hpp>

#include "qx561xsae/iItemAllocator.h"
#include "qx561xsae/iSerialDataStore.h"
#include "sysapicpp/cache/ItemFactory.h"

namespace qx561xsae {

class cQxSerialItemFactory : public sysapicpp::ItemFactory, private boost::noncopyable {
public:
    // dataStore: not owned. The allocator is taken over; FailException when there is none.
    cQxSerialItemFactory(iSerialDataStore* dataStore, std::unique_ptr<iItemAllocator> allocator);

    void getItemNames(std::vector<std::string>& names) override;
    // In byte-wise name order, duplicates once; an item whose creation fails is left out.
    // FailException for a name that is neither a board's nor a port's.
    std::vector<sysapicpp::ItemRef> createItems(const std::vector<std::string>& names) override;

private:
    iSerialDataStore* dataStore;
    std::unique_ptr<iItemAllocator> allocator;
};

}  // namespace qx561xsae
