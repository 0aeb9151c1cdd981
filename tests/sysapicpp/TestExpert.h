// SPDX-License-Identifier: MIT
#pragma once
// An expert over the real item cache and item-cache expert with a fake item factory, as the
// adapter's tests and fuzz target drive it, and a host collection that keeps bag names.

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/qx/dsc/HostString.h"
#include "platform/qx/dsc/Utf8.h"
#include "platform/qxerr/Exception.h"
#include "sysapicpp/Expert.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/SyncNotificationHandler.h"
#include "sysapicpp/cache/ItemCache.h"
#include "sysapicpp/cache/ItemCacheExpert.h"
#include "tests/sysapicpp/cache/FakeItems.h"

namespace sysapicpp::fake {

using Lines = std::vector<std::string>;
using Text = std::string;

inline constexpr GUID kTestExpertId = {0x5e1f7e57, 0x0001, 0x0002, {1, 2, 3, 4, 5, 6, 7, 8}};
inline std::atomic<bool> gRefuseConstruction{false};

// Records each operation with its arguments; `fault` runs inside every one of them.
class TestExpert final : public Expert {
public:
    explicit TestExpert(SyncNotificationHandler& host) : queries_(cache_, host, "fw-expert") {
        if (gRefuseConstruction) throw std::runtime_error("no boards today");
    }

    GUID getExpertId() override { return kTestExpertId; }
    Text getExpertName() override { return "Pr\xC3\xBC" "fer"; }
    Text getExpertVersion() override { return "1.0"; }
    Text getExpertCategory() override { return "test"; }
    Lines enumerateItemNames() override {
        Lines names;
        record("enumerateItemNames")->getItemNames(names);
        return names;
    }
    std::vector<PropertyBagHandle> getAllItemProperties() override {
        std::vector<PropertyBagHandle> bags;
        for (const ItemRef& i : record("getAllItemProperties")->getAllItems()) {
            bags.push_back(i->getPropertyBag());
        }
        return bags;
    }
    PropertyBagHandle getPropertiesOfItem(const Text& name) override {
        return record("getPropertiesOfItem " + name)->getItem(name)->getPropertyBag();
    }
    PropertyBagHandle getPropertiesOfItemByTags(const Text& name, const std::vector<uint32_t>& tags,
                                                bool allowPending) override {
        record("getPropertiesOfItemByTags " + name);
        return queries_.getPropertiesOfItemByTags(name, tags, allowPending);
    }
    void unsupportedOperation() override {
        record("unsupportedOperation");
        throw NotImplException("test", 2);
    }
    void renameAlias(const Text& name, const Text& alias, bool flag, Text& message) override {
        record("renameAlias " + name + " " + alias + (flag ? " 1" : " 0"));
        message = "was " + name;
    }
    void validatePropertiesOfItem(const Text& name, IcxSysPropertyBag4* bag,
                                  std::set<uint32_t>& accepted, Text& message) override {
        record("validatePropertiesOfItem " + name);
        for (uint32_t tag : {1u, 2u, 3u}) {
            if (bag->HasProperty(tag) == S_OK) accepted.insert(tag);
        }
        message = "checked";
    }
    void setPropertiesOfItem(const Text& name, IcxSysPropertyBag4* bag, bool& flag,
                             Text& message) override {
        record("setPropertiesOfItem " + name);
        flag = bag->HasProperty(1) == S_OK;
        message = "saved";
    }
    void performDeviceReset(const Text& name, int32_t mode, bool& flag, Text& message) override {
        record("performDeviceReset " + name + " " + std::to_string(mode));
        flag = true;
        message = "reset";
    }
    void diagnosticSelfTest(const Text& name, int32_t mode, Text& message) override {
        record("diagnosticSelfTest " + name + " " + std::to_string(mode));
        if (mode != 0) throw HResultException(E_SYSAPI_MODE_REFUSED, "test", 3);
        message = "tested";
    }
    void diagnosticSelfCalibrate(const Text& name, Text& message) override {
        record("diagnosticSelfCalibrate " + name);
        message = "calibrated";
    }
    // As the plug-in's: platform failures by the status table, the rest left alone.
    HRESULT translateException(Text* message) override {
        try {
            throw;
        } catch (const qxerr::ExceptionBase& e) {
            if (message) *message = "translated";
            return hresultFromStatusCode(e.getCode());
        }
    }

    ItemRef item(const Text& name) { return cache_->getItem(name); }
    TaskQueue& queue() { return queries_.taskQueue(); }

    FakeItemFactory factory;
    Lines calls;
    std::function<void()> fault;

private:
    // The call, the fault, then the refresh every item operation starts with.
    ItemCache* record(Text call) {
        calls.push_back(std::move(call));
        if (fault) fault();
        cache_->refresh();
        return cache_.get();
    }

    std::shared_ptr<ItemCache> cache_ = std::make_shared<ItemCache>(factory);
    ItemCacheExpert queries_;
};

inline Text take(wchar_t* text) {
    if (!text) return "<null>";
    Text utf8 = qx::dsc::toUtf8(text);
    qx::dsc::freeHostString(text);
    return utf8;
}

// The host's collection: keeps the name (tag 2) of every bag it is given.
struct FakeCollection final : IcxSysPropertyBagCollection {
    HRESULT QueryInterface(const IID&, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    HRESULT GetCount(uint32_t*) override { return E_NOTIMPL; }
    HRESULT GetItem(uint32_t, IcxSysPropertyBag**) override { return E_NOTIMPL; }
    HRESULT Add(IcxSysPropertyBag* bag) override {
        wchar_t* name = nullptr;
        const HRESULT hr = bag->GetString(2, &name);
        names.push_back(take(name));
        return hr;
    }
    Lines names;
};

}  // namespace sysapicpp::fake
