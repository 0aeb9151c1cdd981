// SPDX-License-Identifier: MIT
#pragma once
// The two host objects the plug-in calls back: a collection that receives bags and a sink
// that receives change notifications.

#include <functional>
#include <string>
#include <vector>

#include "sysapicpp/CQXComObject.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace qxhost {

class CHostBagCollection : public IcxSysPropertyBagCollection,
                           public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    static const QXInterfaceMapEntry* interfaceMap();

    sysapicpp::HRESULT GetCount(uint32_t* count) override;
    sysapicpp::HRESULT GetItem(uint32_t index, IcxSysPropertyBag** bag) override;
    sysapicpp::HRESULT Add(IcxSysPropertyBag* bag) override;

    // The bags received, each asked for the bag interface.
    const std::vector<sysapicpp::PropertyBagHandle>& bags() const { return bags_; }

private:
    std::vector<sysapicpp::PropertyBagHandle> bags_;
};

class CHostNotificationSink : public IcxSysNotificationSink,
                              public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    // Receives the change type and the names; its result goes back to the plug-in.
    using Receiver = std::function<sysapicpp::HRESULT(int32_t type, const std::vector<std::string>& names)>;

    explicit CHostNotificationSink(Receiver receiver) : receiver_(std::move(receiver)) {}
    static const QXInterfaceMapEntry* interfaceMap();

    sysapicpp::HRESULT OnItemsChanged(IUnknown* sender, int32_t changeType,
                                      IcxSysEnumStringList* itemNames) override;

private:
    Receiver receiver_;
};

}  // namespace qxhost
