// SPDX-License-Identifier: MIT
#include "host/HostObjects.h"

#include "host/PluginSession.h"

namespace qxhost {

using sysapicpp::HRESULT;

const QXInterfaceMapEntry* CHostBagCollection::interfaceMap() {
    static const QXInterfaceMapEntry map[] = {
        {&IID_IcxSysPropertyBagCollection,
         qxOffsetOfClass<IcxSysPropertyBagCollection, CHostBagCollection>()},
        {nullptr, 0},
    };
    return map;
}

HRESULT CHostBagCollection::GetCount(uint32_t* count) {
    if (!count) return sysapicpp::E_POINTER;
    *count = static_cast<uint32_t>(bags_.size());
    return sysapicpp::S_OK;
}

HRESULT CHostBagCollection::GetItem(uint32_t index, IcxSysPropertyBag** bag) {
    if (!bag) return sysapicpp::E_POINTER;
    *bag = nullptr;
    if (index >= bags_.size()) return sysapicpp::E_FAIL;
    IcxSysPropertyBag4* found = bags_[index].get();
    found->AddRef();
    *bag = found;
    return sysapicpp::S_OK;
}

HRESULT CHostBagCollection::Add(IcxSysPropertyBag* bag) {
    try {
        bags_.push_back(sysapicpp::PropertyBagHandle::fromObject(bag));
        return sysapicpp::S_OK;
    } catch (const std::bad_alloc&) {
        return sysapicpp::E_OUTOFMEMORY;
    } catch (...) {
        return sysapicpp::E_NOINTERFACE;
    }
}

const QXInterfaceMapEntry* CHostNotificationSink::interfaceMap() {
    static const QXInterfaceMapEntry map[] = {
        {&IID_IcxSysNotificationSink,
         qxOffsetOfClass<IcxSysNotificationSink, CHostNotificationSink>()},
        {nullptr, 0},
    };
    return map;
}

HRESULT CHostNotificationSink::OnItemsChanged(IUnknown*, int32_t changeType,
                                              IcxSysEnumStringList* itemNames) {
    if (!itemNames) return sysapicpp::E_POINTER;
    try {
        std::vector<std::string> names;
        for (;;) {
            qx::dsc::HostStringHolder name;
            uint32_t fetched = 0;
            const HRESULT hr = itemNames->Next(1, name.receive(), &fetched);
            if (sysapicpp::failed(hr)) return hr;
            if (fetched == 0) break;
            names.push_back(utf8(name));
        }
        return receiver_(changeType, names);
    } catch (const std::bad_alloc&) {
        return sysapicpp::E_OUTOFMEMORY;
    } catch (...) {
        return sysapicpp::E_FAIL;
    }
}

}  // namespace qxhost
