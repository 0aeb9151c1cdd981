// SPDX-License-Identifier: MIT
#include "host/Catalog.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <map>

#include "host/HostError.h"
#include "host/HostObjects.h"
#include "host/PluginSession.h"
#include "host/StopRequest.h"
#include "platform/qx/dsc/Utf8.h"
#include "qx561xsae/ItemNames.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qxhost {
namespace {

using sysapicpp::PropertyBagHandle;

constexpr char kDeviceNodes[] = "/dev/";
// A listing taken while a board is plugged or unplugged settles within milliseconds;
// these bound the patience for one that keeps changing.
constexpr int kReadings = 12;
constexpr std::chrono::milliseconds kSettlePause{20};

// A path with doubled, trailing and "." elements removed, so that typed paths compare.
std::string normalPath(const std::string& path) {
    std::string result;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        const std::string element = path.substr(start, end - start);
        if (!element.empty() && element != ".") result += "/" + element;
        start = end + 1;
    }
    return result.empty() ? "/" : result;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string lastElement(const std::string& path) { return path.substr(path.rfind('/') + 1); }

bool matches(const CatalogItem& item, const std::string& typed) {
    if (typed == item.name) return true;
    if (typed.rfind(kDeviceNodes, 0) == 0)
        return item.isPort() && item.bag.hasProperty(sysapicpp::PortNode) &&
               item.bag.getString(sysapicpp::PortNode) == normalPath(typed);
    if (typed.rfind("/", 0) == 0) return item.path == normalPath(typed);
    if (item.isPort()) return false;
    // A PCI address, with or without its domain.
    const std::string address = lower(lastElement(item.path));
    const std::string wanted = lower(typed);
    return address == wanted || address.substr(address.find(':') + 1) == wanted;
}

bool mayHaveVanished(const HostError& error) {
    return error.code() == sysapicpp::E_SYSAPI_ITEM_NOT_EXIST || error.code() == sysapicpp::E_FAIL;
}

int32_t int32Or(const PropertyBagHandle& bag, uint32_t tag, int32_t otherwise) {
    return bag.hasProperty(tag) ? bag.getInt32(tag) : otherwise;
}

std::string stringOr(const PropertyBagHandle& bag, uint32_t tag) {
    return bag.hasProperty(tag) ? bag.getString(tag) : std::string();
}

}  // namespace

std::optional<ItemIdentity> identify(const std::string& itemName) {
    if (qx561xsae::isPortName(itemName)) {
        const std::string path = qx561xsae::portIdFromName(itemName);
        return ItemIdentity{ItemKind::Port, path, kDeviceNodes + lastElement(path)};
    }
    if (qx561xsae::isDeviceName(itemName)) {
        const std::string path = qx561xsae::deviceIdFromName(itemName);
        return ItemIdentity{ItemKind::Board, path, lastElement(path)};
    }
    return std::nullopt;
}

Catalog::Catalog(const std::vector<PropertyBagHandle>& bags) {
    // Reserved: an item cannot be moved without copying its bag's handle, so growing the
    // vector would copy every item made so far.
    items_.reserve(bags.size());
    for (const PropertyBagHandle& bag : bags) {
        if (!bag.hasProperty(sysapicpp::Name)) continue;
        CatalogItem item;
        item.name = bag.getString(sysapicpp::Name);
        const std::optional<ItemIdentity> identity = identify(item.name);
        if (!identity) continue;  // not one of this plug-in's names
        item.kind = identity->kind;
        item.path = identity->path;
        item.bag = bag;
        if (item.isPort()) {
            item.board = stringOr(bag, sysapicpp::ParentDevice);
            item.number = int32Or(bag, sysapicpp::PortNumber, 0);
            portsByBoard_[item.board].push_back(items_.size());
        }
        items_.push_back(std::move(item));
    }
    for (auto& [board, ports] : portsByBoard_) {
        std::stable_sort(ports.begin(), ports.end(),
                         [this](std::size_t a, std::size_t b) {
                             return items_[a].number < items_[b].number;
                         });
    }
}

Catalog Catalog::read(PluginSession& session, const StopRequest& stop) {
    std::optional<Catalog> previous;
    for (int reading = 1;; ++reading) {
        stop.check();
        if (reading > 1) {
            if (stop.waitFor(kSettlePause)) throw Stopped{};
            session.restart();
        }
        std::optional<Catalog> current;
        try {
            current = Catalog(allItemProperties(session.expert()));
        } catch (const HostError& error) {
            // An item vanished between the names and the properties: the plug-in says it does
            // not exist, or, when its board's files went first, that describing it failed.
            if (!mayHaveVanished(error) || reading >= kReadings) throw;
            continue;
        }
        if (current->settled()) return std::move(*current);
        current->stampUnsettledItems();
        if ((previous && previous->sameShape(*current)) || reading >= kReadings) return std::move(*current);
        previous = std::move(current);
    }
}

bool Catalog::settled() const {
    return incompleteBoards().empty() && unlistedBoardPorts().empty();
}

// A board that is unplugged and plugged again over and over can be caught half read
// reading after reading, with the same names each time; each plug makes its directories
// anew, so their stamps tell the readings apart.
void Catalog::stampUnsettledItems() {
    for (const CatalogItem* board : incompleteBoards()) unsettledStamps_[board->name] = directoryStamp(board->path);
    for (const CatalogItem* port : unlistedBoardPorts()) unsettledStamps_[port->name] = directoryStamp(port->path);
}

bool Catalog::sameShape(const Catalog& other) const {
    const bool sameNames =
        std::equal(items_.begin(), items_.end(), other.items_.begin(), other.items_.end(),
                   [](const CatalogItem& a, const CatalogItem& b) { return a.name == b.name; });
    if (!sameNames || unsettledStamps_ != other.unsettledStamps_) return false;
    return std::all_of(unsettledStamps_.begin(), unsettledStamps_.end(),
                       [](const auto& entry) { return entry.second.has_value(); });
}

std::vector<const CatalogItem*> Catalog::boards() const {
    std::vector<const CatalogItem*> result;
    for (const CatalogItem& item : items_)
        if (!item.isPort()) result.push_back(&item);
    return result;
}

std::vector<const CatalogItem*> Catalog::portsOf(const CatalogItem& board) const {
    std::vector<const CatalogItem*> result;
    const auto found = portsByBoard_.find(board.name);
    if (found == portsByBoard_.end()) return result;
    for (std::size_t index : found->second) result.push_back(&items_[index]);
    return result;
}

std::vector<const CatalogItem*> Catalog::unlistedBoardPorts() const {
    std::map<std::string, bool> listed;
    for (const CatalogItem& item : items_)
        if (!item.isPort()) listed[item.name] = true;
    std::vector<const CatalogItem*> result;
    for (const CatalogItem& item : items_)
        if (item.isPort() && !listed.count(item.board)) result.push_back(&item);
    return result;
}

std::vector<const CatalogItem*> Catalog::incompleteBoards() const {
    std::vector<const CatalogItem*> result;
    for (const CatalogItem* board : boards()) {
        const int32_t expected = int32Or(board->bag, sysapicpp::PortCount, 0);
        if (static_cast<int64_t>(portsOf(*board).size()) < expected) result.push_back(board);
    }
    return result;
}

const CatalogItem* Catalog::find(const std::string& typed) const {
    for (const CatalogItem& item : items_)
        if (matches(item, typed)) return &item;
    return nullptr;
}

std::vector<PropertyBagHandle> allItemProperties(IcxSysExpert2& expert) {
    QXComPtr<CHostBagCollection> bags(CQXComObject<CHostBagCollection>::createInstance());
    if (!bags) throw HostError("GetAllItemProperties", sysapicpp::E_OUTOFMEMORY, "out of memory");
    check("GetAllItemProperties", expert.GetAllItemProperties(bags.get()));
    return bags->bags();
}

PropertyBagHandle readItem(IcxSysExpert2& expert, const std::string& name, const std::string& typed) {
    const std::wstring wide = qx::dsc::toWide(name);
    IcxSysPropertyBag* bag = nullptr;
    check("GetItemProperties", expert.GetItemProperties(wide.c_str(), &bag), {}, typed);
    QXComPtr<IcxSysPropertyBag> owned(bag, false);
    return PropertyBagHandle::fromObject(owned.get());
}

std::string resolveName(PluginSession& session, const std::string& typed, const StopRequest& stop) {
    if (identify(typed)) return typed;
    const Catalog catalog = Catalog::read(session, stop);
    const CatalogItem* found = catalog.find(typed);
    return found ? found->name : typed;
}

}  // namespace qxhost
