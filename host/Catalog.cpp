// SPDX-License-Identifier: MIT
#include "host/Catalog.h"

#include <algorithm>
#include <cctype>

#include "host/HostError.h"
#include "host/HostObjects.h"
#include "platform/qx/dsc/Utf8.h"
#include "qx561xsae/ItemNames.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qxhost {
namespace {

constexpr char kDeviceNodes[] = "/dev/";

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
    if (typed.rfind(kDeviceNodes, 0) == 0)
        return item.port && item.bag.hasProperty(sysapicpp::PortNode) &&
               item.bag.getString(sysapicpp::PortNode) == normalPath(typed);
    if (typed.rfind("/", 0) == 0) return item.path == normalPath(typed);
    // A PCI address, with or without its domain.
    if (item.port) return false;
    const std::string address = lower(lastElement(item.path));
    const std::string wanted = lower(typed);
    return address == wanted || address.substr(address.find(':') + 1) == wanted;
}

}  // namespace

std::vector<CatalogItem> readCatalog(IcxSysExpert2& expert) {
    QXComPtr<CHostBagCollection> bags(CQXComObject<CHostBagCollection>::createInstance());
    if (!bags) throw HostError("GetAllItemProperties", sysapicpp::E_OUTOFMEMORY);
    check("GetAllItemProperties", expert.GetAllItemProperties(bags.get()));
    std::vector<CatalogItem> items;
    for (const sysapicpp::PropertyBagHandle& bag : bags->bags()) {
        CatalogItem item;
        item.name = bag.getString(sysapicpp::Name);
        item.port = qx561xsae::isPortName(item.name);
        item.path = item.port ? qx561xsae::portIdFromName(item.name)
                              : qx561xsae::deviceIdFromName(item.name);
        item.bag = bag;
        items.push_back(std::move(item));
    }
    return items;
}

std::string resolveName(IcxSysExpert2& expert, const std::string& typed) {
    if (qx561xsae::isDeviceName(typed) || qx561xsae::isPortName(typed)) return typed;
    for (const CatalogItem& item : readCatalog(expert))
        if (matches(item, typed)) return item.name;
    return typed;
}

sysapicpp::PropertyBagHandle readItem(IcxSysExpert2& expert, const std::string& name) {
    const std::wstring wide = qx::dsc::toWide(name);
    IcxSysPropertyBag* bag = nullptr;
    check("GetItemProperties", expert.GetItemProperties(wide.c_str(), &bag));
    QXComPtr<IcxSysPropertyBag> owned(bag, false);
    return sysapicpp::PropertyBagHandle::fromObject(owned.get());
}

}  // namespace qxhost
