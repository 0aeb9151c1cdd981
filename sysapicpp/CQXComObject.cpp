// SPDX-License-Identifier: MIT
#include "sysapicpp/CQXComObject.h"

#include "platform/qxapal/CQXMutex.h"

namespace {

class CountLock {
public:
    CountLock() { qxapal::CQXMutex::referenceCounts().lock(); }
    ~CountLock() { qxapal::CQXMutex::referenceCounts().unlock(); }
};

}  // namespace

uint32_t CQXComObjectRootBase::internalAddRef() {
    CountLock lock;
    return static_cast<uint32_t>(++refCount_);
}

uint32_t CQXComObjectRootBase::internalRelease() {
    CountLock lock;
    return static_cast<uint32_t>(--refCount_);
}

sysapicpp::HRESULT CQXComObjectRootBase::internalQueryInterface(void* object,
                                                                const QXInterfaceMapEntry* map,
                                                                const IID& iid, void** out) {
    if (!out) return sysapicpp::E_POINTER;
    *out = nullptr;
    for (const QXInterfaceMapEntry* entry = map; entry->iid; ++entry) {
        if (*entry->iid == iid || (entry == map && iid == IID_IUnknown)) {
            auto* unknown =
                reinterpret_cast<IUnknown*>(static_cast<char*>(object) + entry->offset);
            unknown->AddRef();
            *out = unknown;
            return sysapicpp::S_OK;
        }
    }
    return sysapicpp::E_NOINTERFACE;
}
