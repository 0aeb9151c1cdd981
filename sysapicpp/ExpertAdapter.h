// SPDX-License-Identifier: MIT
#pragma once
// Presents an expert through the host's expert interfaces: argument checks, text
// between the host's wide strings and UTF-8, and every failure turned into a result code.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/qx/dsc/HostString.h"
#include "sysapicpp/CQXComEnumOnSTL.h"
#include "sysapicpp/CQXComObject.h"
#include "sysapicpp/Expert.h"
#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/SyncNotificationHandler.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace sysapicpp {
namespace adapter {

// A host string owned until it is handed out.
using HostString = qx::dsc::HostStringHolder;

// UTF-8 of a host text (not null).
std::string fromHost(const wchar_t* text);
// A new host string; std::bad_alloc when it cannot be made. A text longer than the
// 32-bit limit is cut after its last whole character before it.
HostString toHost(std::string_view utf8);
std::vector<std::wstring> toWide(const std::vector<std::string>& texts);

// Only inside a catch handler. Asks the expert (may be null) to translate the exception
// being handled, writes its message to *message when asked, and maps what the expert
// leaves: std::bad_alloc E_OUTOFMEMORY, HResultException its code, std::exception
// E_FAIL, int its value, anything else E_FAIL.
HRESULT translateCurrentException(Expert* expert, wchar_t** message) noexcept;

}  // namespace adapter

// E: an Expert constructible as E(SyncNotificationHandler&), made by Initialize.
template <class E>
class ExpertAdapter : public IcxSysExpert2,
                      public IcxSysExpertPlugPlay,
                      public IcxSysExpertDiagnostic2,
                      public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    ExpertAdapter() : handler_(static_cast<IcxSysExpert2*>(this)) {}
    ~ExpertAdapter() override = default;

    static const QXInterfaceMapEntry* interfaceMap() {
        static const std::ptrdiff_t expert = qxOffsetOfClass<IcxSysExpert2, ExpertAdapter>();
        static const std::ptrdiff_t diagnostic =
            qxOffsetOfClass<IcxSysExpertDiagnostic2, ExpertAdapter>();
        static const QXInterfaceMapEntry map[] = {
            {&IID_IcxSysExpertInfo, expert},
            {&IID_IcxSysExpert, expert},
            {&IID_IcxSysExpert2, expert},
            {&IID_IcxSysExpertPlugPlay, qxOffsetOfClass<IcxSysExpertPlugPlay, ExpertAdapter>()},
            {&IID_IcxSysExpertDiagnostic, diagnostic},
            {&IID_IcxSysExpertDiagnostic2, diagnostic},
            {nullptr, 0},
        };
        return map;
    }

    // The expert, or null outside Initialize ... Uninitialize.
    E* expert() const { return expert_.get(); }

    HRESULT GetExpertId(GUID* id) override {
        if (!id) return E_POINTER;
        return call(nullptr, [&](Expert& expert) {
            *id = expert.getExpertId();
            return S_OK;
        });
    }
    HRESULT GetExpertName(wchar_t** name) override {
        return identity(name, &Expert::getExpertName);
    }
    HRESULT GetExpertVersion(wchar_t** version) override {
        return identity(version, &Expert::getExpertVersion);
    }
    HRESULT GetExpertCategory(wchar_t** category) override {
        return identity(category, &Expert::getExpertCategory);
    }

    HRESULT Initialize() override {
        try {
            auto fresh = std::make_unique<E>(handler_);
            expert_.swap(fresh);  // the previous expert goes with fresh
            return S_OK;
        } catch (...) {
            return adapter::translateCurrentException(expert_.get(), nullptr);
        }
    }

    HRESULT Uninitialize() override {
        handler_.clearSink();
        expert_.reset();
        return S_OK;
    }

    HRESULT GetAllItemProperties(IcxSysPropertyBagCollection* bags) override {
        if (!bags) return E_POINTER;
        return call(nullptr, [&](Expert& expert) {
            const std::vector<PropertyBagHandle> all = expert.getAllItemProperties();
            for (const PropertyBagHandle& bag : all) {
                if (!bag.get()) continue;
                const HRESULT added = bags->Add(bag.get());
                if (failed(added)) return added;
            }
            return all.empty() ? S_FALSE : S_OK;
        });
    }

    HRESULT EnumItemNames(IcxSysEnumStringList** names) override {
        if (!names) return E_POINTER;
        *names = nullptr;
        return call(nullptr, [&](Expert& expert) {
            const std::vector<std::string> all = expert.enumerateItemNames();
            if (all.empty()) return S_FALSE;
            return CcxSysEnumItemNamesSTL<>::create(adapter::toWide(all), names);
        });
    }

    HRESULT GetItemProperties(const wchar_t* itemName, IcxSysPropertyBag** bag) override {
        if (!itemName || !bag) return E_POINTER;
        *bag = nullptr;
        return call(nullptr, [&](Expert& expert) {
            PropertyBagHandle result = expert.getPropertiesOfItem(adapter::fromHost(itemName));
            if (!result.get()) return E_UNEXPECTED;
            *bag = result.detach();
            return S_OK;
        });
    }

    HRESULT GetItemPropertiesByTag(const wchar_t* itemName, uint32_t tagCount, const uint32_t* tags,
                                   int32_t allowPending, IcxSysPropertyBag** bag) override {
        if (!itemName || !tags || !bag) return E_POINTER;
        *bag = nullptr;
        return call(nullptr, [&](Expert& expert) {
            const std::vector<uint32_t> wanted(tags, tags + tagCount);
            PropertyBagHandle result = expert.getPropertiesOfItemByTags(
                adapter::fromHost(itemName), wanted, allowPending != 0);
            if (!result.get()) return E_UNEXPECTED;
            std::size_t present = 0;
            for (const uint32_t tag : wanted) present += result.hasProperty(tag) ? 1 : 0;
            if (!wanted.empty() && present == 0) return E_SYSAPI_PROPERTY_NOT_FOUND;
            *bag = result.detach();
            return present == wanted.size() ? S_OK : S_FALSE;
        });
    }

    HRESULT Unsupported() override {
        return call(nullptr, [&](Expert& expert) {
            expert.unsupportedOperation();
            return S_OK;
        });
    }

    HRESULT RenameAlias(const wchar_t* itemName, const wchar_t* newAlias, int32_t flag,
                        int32_t* hasMessage, wchar_t** message) override {
        if (!itemName || !newAlias || !hasMessage || !message) return E_POINTER;
        *hasMessage = 0;
        *message = nullptr;
        return call(message, [&](Expert& expert) {
            std::string text;
            expert.renameAlias(adapter::fromHost(itemName), adapter::fromHost(newAlias), flag != 0,
                               text);
            *message = adapter::toHost(text).release();
            *hasMessage = text.empty() ? 0 : 1;
            return S_OK;
        });
    }

    HRESULT ValidateItemProperties(const wchar_t* itemName, IcxSysPropertyBag* bag,
                                   IcxSysEnumPropertyTag** acceptedTags,
                                   wchar_t** message) override {
        if (!itemName || !bag || !acceptedTags) return E_POINTER;
        *acceptedTags = nullptr;
        if (message) *message = nullptr;
        return call(message, [&](Expert& expert) {
            const PropertyBagHandle hostBag = PropertyBagHandle::fromObject(bag);
            std::set<uint32_t> accepted;
            std::string text;
            expert.validatePropertiesOfItem(adapter::fromHost(itemName), hostBag.get(), accepted,
                                            text);
            adapter::HostString converted = message ? adapter::toHost(text) : adapter::HostString();
            HRESULT result = S_FALSE;
            if (!accepted.empty()) {
                result = CcxSysEnumPropertyTagsSTL<>::create(std::move(accepted), acceptedTags);
                if (failed(result)) return result;
            }
            if (message) *message = converted.release();
            return result;
        });
    }

    HRESULT SetItemProperties(const wchar_t* itemName, IcxSysPropertyBag* bag,
                              int32_t* flag) override {
        return SetItemProperties2(itemName, bag, flag, nullptr);
    }

    HRESULT ResetDevice(const wchar_t* itemName, int32_t mode) override {
        if (!itemName) return E_POINTER;
        return resetDevice(itemName, mode, nullptr, nullptr);
    }

    // A mode the expert refuses is tried again with mode 0; success then says so.
    HRESULT SelfTest(const wchar_t* itemName, int32_t mode, wchar_t** message) override {
        if (!itemName || !message) return E_POINTER;
        *message = nullptr;
        HRESULT result = selfTest(itemName, mode, message);
        if (result == E_SYSAPI_MODE_REFUSED && mode != 0) {
            qx::dsc::freeHostString(std::exchange(*message, nullptr));
            result = selfTest(itemName, 0, message);
            if (succeeded(result)) result = S_SYSAPI_DIAGNOSTIC;
        }
        return result;
    }

    HRESULT SelfCalibrate(const wchar_t* itemName, wchar_t** message) override {
        if (!itemName || !message) return E_POINTER;
        *message = nullptr;
        return call(message, [&](Expert& expert) {
            std::string text;
            expert.diagnosticSelfCalibrate(adapter::fromHost(itemName), text);
            *message = adapter::toHost(text).release();
            return S_OK;
        });
    }

    HRESULT ResetDevice2(const wchar_t* itemName, int32_t mode, int32_t* flag,
                         wchar_t** message) override {
        if (!itemName || !flag || !message) return E_POINTER;
        return resetDevice(itemName, mode, flag, message);
    }

    HRESULT SetNotificationSink(IcxSysNotificationSink* sink) override {
        handler_.setSink(sink);
        return S_OK;
    }

    HRESULT SetItemProperties2(const wchar_t* itemName, IcxSysPropertyBag* bag, int32_t* flag,
                               wchar_t** message) override {
        if (!itemName || !flag) return E_POINTER;
        *flag = 0;
        if (message) *message = nullptr;
        return call(message, [&](Expert& expert) {
            // A missing bag is UnexpectedException, as is one without the bag interface.
            const PropertyBagHandle hostBag = PropertyBagHandle::fromObject(bag);
            bool changed = false;
            std::string text;
            expert.setPropertiesOfItem(adapter::fromHost(itemName), hostBag.get(), changed, text);
            if (message) *message = adapter::toHost(text).release();
            *flag = changed ? 1 : 0;
            return S_OK;
        });
    }

    HRESULT ObjectHook() override { return S_OK; }

private:
    // Runs body(expert) and turns whatever it throws into a result code; E_UNEXPECTED
    // when there is no expert.
    template <class Body>
    HRESULT call(wchar_t** message, Body&& body) noexcept {
        Expert* const current = expert_.get();
        if (!current) return E_UNEXPECTED;
        try {
            return body(*current);
        } catch (...) {
            return adapter::translateCurrentException(current, message);
        }
    }

    HRESULT identity(wchar_t** out, std::string (Expert::*operation)()) {
        if (!out) return E_POINTER;
        *out = nullptr;
        return call(nullptr, [&](Expert& expert) {
            *out = adapter::toHost((expert.*operation)()).release();
            return S_OK;
        });
    }

    HRESULT selfTest(const wchar_t* itemName, int32_t mode, wchar_t** message) {
        return call(message, [&](Expert& expert) {
            std::string text;
            expert.diagnosticSelfTest(adapter::fromHost(itemName), mode, text);
            *message = adapter::toHost(text).release();
            return S_OK;
        });
    }

    // flag and message may be null.
    HRESULT resetDevice(const wchar_t* itemName, int32_t mode, int32_t* flag, wchar_t** message) {
        if (flag) *flag = 0;
        if (message) *message = nullptr;
        return call(message, [&](Expert& expert) {
            bool done = false;
            std::string text;
            expert.performDeviceReset(adapter::fromHost(itemName), mode, done, text);
            if (message) *message = adapter::toHost(text).release();
            if (flag) *flag = done ? 1 : 0;
            return S_OK;
        });
    }

    SyncNotificationHandler handler_;  // outlives the expert, which uses it
    std::unique_ptr<E> expert_;
};

}  // namespace sysapicpp
