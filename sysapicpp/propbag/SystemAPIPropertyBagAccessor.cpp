// SPDX-License-Identifier: MIT
#include "sysapicpp/propbag/SystemAPIPropertyBagAccessor.h"

#include "sysapicpp/propbag/TagIterator.h"

namespace sysapicpp {
namespace {

std::set<uint32_t> collect(IcxSysEnumPropertyTag* enumerator) {
    QXComPtr<IcxSysEnumPropertyTag> owned(enumerator, false);
    std::set<uint32_t> tags;
    for (uint32_t tag : TagRange(owned.get())) tags.insert(tag);
    return tags;
}

}  // namespace

std::set<uint32_t> SystemAPIPropertyBagAccessor::tags() const {
    IcxSysEnumPropertyTag* enumerator = nullptr;
    checkGet(bag().EnumTags(&enumerator));
    return collect(enumerator);
}

std::set<uint32_t> SystemAPIPropertyBagAccessor::modifiedTags() const {
    IcxSysEnumPropertyTag* enumerator = nullptr;
    checkGet(bag().EnumModifiedTags(&enumerator));
    return collect(enumerator);
}

void SystemAPIPropertyBagAccessor::markModified(uint32_t tag) const {
    checkSet(bag().MarkModified(tag));
}

bool SystemAPIPropertyBagAccessor::clearModified() const {
    const HRESULT hr = bag().ClearModified();
    checkSet(hr);
    return hr == S_OK;
}

bool SystemAPIPropertyBagAccessor::clearModifiedTag(uint32_t tag, bool* anyLeft) const {
    const HRESULT hr = bag().ClearModifiedTag(tag, anyLeft);
    checkSet(hr);
    return hr == S_OK;
}

PropertyBagHandle SystemAPIPropertyBagAccessor::clone() const {
    IcxSysPropertyBag* copy = nullptr;
    checkGet(bag().Clone(&copy));
    QXComPtr<IcxSysPropertyBag> owned(copy, false);
    return PropertyBagHandle::fromObject(owned.get());
}

void SystemAPIPropertyBagAccessor::lock() const { checkSet(bag().Lock()); }
void SystemAPIPropertyBagAccessor::unlock() const { checkSet(bag().Unlock()); }

}  // namespace sysapicpp
