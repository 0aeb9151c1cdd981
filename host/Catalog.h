// SPDX-License-Identifier: MIT
#pragma once
// Every item the plug-in offers, with its bag: the one place that decides whether an item
// is a board or a port, which board a port belongs to, and what a person's NAME means.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "host/Machine.h"
#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace qxhost {

class PluginSession;
class StopRequest;

enum class ItemKind { Board, Port };

// What an item name says by itself: its kind and device-tree path, and how a person names
// it (a port's node, a board's PCI address). Nothing for a name outside the grammar.
struct ItemIdentity {
    ItemKind kind;
    std::string path;
    std::string personName;
};
std::optional<ItemIdentity> identify(const std::string& itemName);

struct CatalogItem {
    std::string name;  // the item name
    ItemKind kind = ItemKind::Board;
    std::string path;  // the board's or port's device-tree path
    sysapicpp::PropertyBagHandle bag;
    // Ports: the board's item name and the number on it, as the bag has them ("" and 0 when
    // it has not).
    std::string board;
    int32_t number = 0;

    bool isPort() const { return kind == ItemKind::Port; }
};

class Catalog {
public:
    // Every item with its properties. Boards come and go while it is read: an item that
    // vanishes between the names and the properties (the plug-in answers 0x80040375, or
    // E_FAIL when the board's files went first), or a board with ports missing, makes it
    // read again by a new expert, a bounded number of times; a shape that stays, with the
    // same directories for its incomplete boards and unlisted boards' ports, is taken as it
    // is.
    static Catalog read(PluginSession& session, const StopRequest& stop);
    // The items among the bags, as one reading.
    explicit Catalog(const std::vector<sysapicpp::PropertyBagHandle>& bags);

    const std::vector<CatalogItem>& items() const { return items_; }
    std::vector<const CatalogItem*> boards() const;
    // In port order.
    std::vector<const CatalogItem*> portsOf(const CatalogItem& board) const;
    // Ports whose board is not listed, in the plug-in's order.
    std::vector<const CatalogItem*> unlistedBoardPorts() const;
    // Boards listed with fewer ports than they have.
    std::vector<const CatalogItem*> incompleteBoards() const;

    // The item a person means by NAME: an item name, a port node, a device-tree path or a
    // board's PCI address (with or without its domain, any case); null when none.
    const CatalogItem* find(const std::string& typed) const;

private:
    bool settled() const;
    // Notes which directories the incomplete boards and the unlisted boards' ports have once
    // the reading is done.
    void stampUnsettledItems();
    // The same items, and each unsettled one in the same directory, present in both.
    bool sameShape(const Catalog& other) const;

    std::vector<CatalogItem> items_;
    // Each board item name's ports, as indices into items_, in port order; a listing asks
    // for every board's ports more than once.
    std::map<std::string, std::vector<std::size_t>> portsByBoard_;
    std::map<std::string, std::optional<DirectoryStamp>> unsettledStamps_;
};

// GetAllItemProperties: the bags as the plug-in hands them out.
std::vector<sysapicpp::PropertyBagHandle> allItemProperties(IcxSysExpert2& expert);

// GetItemProperties; failures name `typed`, the NAME as given.
sysapicpp::PropertyBagHandle readItem(IcxSysExpert2& expert, const std::string& name,
                                      const std::string& typed);

// The item name for NAME: an item name as it is, else what the catalog finds; a NAME
// that matches nothing is passed on as it is, so that the plug-in says it does not exist.
std::string resolveName(PluginSession& session, const std::string& typed, const StopRequest& stop);

}  // namespace qxhost
