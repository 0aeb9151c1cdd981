// SPDX-License-Identifier: MIT
#include "host/Shaping.h"

#include "host/Format.h"
#include "host/Machine.h"
#include "shared/qx561x/PortSettings.h"
#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/cache/Item.h"
#include "sysapicpp/propbag/CcxPropertyValue.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qxhost {
namespace {

using namespace sysapicpp;

std::optional<std::string> modeName(uint32_t mode) {
    const qx561x::tRs485Mode* named = qx561x::findRs485Mode(mode);
    return named ? std::optional<std::string>(named->name) : std::nullopt;
}

Limits limits(const PropertyBagHandle& bag, uint32_t min, uint32_t max, uint32_t defaultValue) {
    return Limits{nullptr, bag.getUInt32(min), bag.getUInt32(max), bag.getUInt32(defaultValue)};
}

BoardRow boardRow(const CatalogItem& board, const Catalog& catalog) {
    BoardRow row = fromBag(board.name, [&] {
        const PropertyBagHandle& bag = board.bag;
        BoardRow fields;
        fields.item = board.name;
        fields.address = identify(board.name)->personName;
        fields.path = board.path;
        fields.model = bag.getString(ModelName);
        fields.serial = bag.getString(SerialNumber);
        fields.portCount = bag.getInt32(PortCount);
        return fields;
    });
    row.slot = slotPath(row.address);
    const std::vector<const CatalogItem*> ports = catalog.portsOf(board);
    row.ports.reserve(ports.size());
    for (const CatalogItem* port : ports) row.ports.push_back(portRow(*port));
    return row;
}

PropertyRow propertyRow(const PropertyBagHandle& bag, uint32_t tag, ItemKind kind) {
    PropertyRow row;
    row.tag = tag;
    row.name = tagName(tag, kind);
    row.type = bag.getPropertyType(tag);
    switch (row.type) {
    case kPropertyTypeBool: row.value = bag.getBool(tag); break;
    case kPropertyTypeInt32: row.value = bag.getInt32(tag); break;
    case kPropertyTypeUInt32: row.value = bag.getUInt32(tag); break;
    case kPropertyTypeDouble: row.value = bag.getDouble(tag); break;
    case kPropertyTypeGuid: row.value = guidText(bag.getGuid(tag)); break;
    case kPropertyTypeString: row.value = bag.getString(tag); break;
    case kPropertyTypeTimestamp: row.value = timestampText(bag.getTimestamp(tag)); break;
    default: row.value = std::string("?"); break;
    }
    if (kind == ItemKind::Port && tag == Rs485TransceiverMode && row.type == kPropertyTypeUInt32) {
        row.isMode = true;
        row.modeName = modeName(std::get<uint32_t>(row.value));
    }
    return row;
}

std::string changeWord(int32_t type) {
    switch (type) {
    case kItemsAdded: return "added";
    case kItemsRemoved: return "removed";
    case kItemsChanged: return "changed";
    default: return "type" + std::to_string(type);
    }
}

}  // namespace

PortRow portRow(const CatalogItem& port) {
    return fromBag(port.name, [&] {
        const PropertyBagHandle& bag = port.bag;
        PortRow row;
        row.item = port.name;
        row.node = bag.getString(PortNode);
        row.path = port.path;
        row.number = bag.getInt32(PortNumber);
        row.rs232 = bag.getBool(IsRs232);
        row.rx = bag.getUInt32(RxFifoDepth);
        row.tx = bag.getUInt32(TxFifoDepth);
        row.rxLimits = limits(bag, RxFifoDepthMin, RxFifoDepthMax, RxFifoDepthDefault);
        row.txLimits = limits(bag, TxFifoDepthMin, TxFifoDepthMax, TxFifoDepthDefault);
        if (!row.rs232 && bag.hasProperty(Rs485TransceiverMode)) {
            row.mode = bag.getUInt32(Rs485TransceiverMode);
            row.modeName = modeName(*row.mode);
            row.modeLimits = kRs485ModeLimits;
        }
        return row;
    });
}

ListModel listModel(const Catalog& catalog) {
    ListModel model;
    model.boards.reserve(catalog.boards().size());
    for (const CatalogItem* board : catalog.boards()) model.boards.push_back(boardRow(*board, catalog));
    for (const CatalogItem* port : catalog.unlistedBoardPorts()) model.unlistedBoardPorts.push_back(portRow(*port));
    return model;
}

ShowItem showItem(const std::string& name, const PropertyBagHandle& bag) {
    const std::optional<ItemIdentity> identity = identify(name);
    const ItemKind kind = identity ? identity->kind : ItemKind::Board;
    ShowItem item{name, {}};
    fromBag(name, [&] {
        for (uint32_t tag : SystemAPIPropertyBagAccessor(bag.get()).tags())
            item.properties.push_back(propertyRow(bag, tag, kind));
        return 0;
    });
    return item;
}

SetPort setPort(const std::string& name, const PropertyBagHandle& before, const PropertyBagHandle* after,
                const std::vector<Setting>& settings) {
    SetPort port{name, fromBag(name, [&] { return before.getString(PortNode); }), {}, after != nullptr};
    for (const Setting& setting : settings) {
        Change change{setting.key, tagName(setting.tag, ItemKind::Port), std::nullopt, setting.value};
        fromBag(name, [&] {
            if (before.hasProperty(setting.tag)) change.before = before.getUInt32(setting.tag);
            if (after)
                change.after = after->hasProperty(setting.tag) ? std::optional<uint32_t>(after->getUInt32(setting.tag))
                                                               : std::nullopt;
            return 0;
        });
        port.changes.push_back(std::move(change));
    }
    return port;
}

WatchEvent watchEvent(int32_t type, const std::string& name) {
    WatchEvent event{changeWord(type), name, std::nullopt, std::nullopt, std::nullopt};
    if (const std::optional<ItemIdentity> identity = identify(name)) {
        const bool port = identity->kind == ItemKind::Port;
        event.kind = port ? "port" : "board";
        (port ? event.node : event.address) = identity->personName;
    }
    return event;
}

}  // namespace qxhost
