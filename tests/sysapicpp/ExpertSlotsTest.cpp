// SPDX-License-Identifier: MIT
// The expert interfaces must give the adapter the tables the host calls: one object
// deriving from all three chains, each operation reachable by its slot in every table.

#include <gtest/gtest.h>

#include "RawSlots.h"
#include "sysapicpp/CQXComObject.h"

using namespace sysapicpp;

namespace {

class CSlotRecorder : public IcxSysExpert2,
                      public IcxSysExpertPlugPlay,
                      public IcxSysExpertDiagnostic2,
                      public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    static const QXInterfaceMapEntry* interfaceMap() {
        static const std::ptrdiff_t expert = qxOffsetOfClass<IcxSysExpert2, CSlotRecorder>();
        static const std::ptrdiff_t diagnostic =
            qxOffsetOfClass<IcxSysExpertDiagnostic2, CSlotRecorder>();
        static const QXInterfaceMapEntry map[] = {
            {&IID_IcxSysExpertInfo, expert},
            {&IID_IcxSysExpert, expert},
            {&IID_IcxSysExpert2, expert},
            {&IID_IcxSysExpertPlugPlay, qxOffsetOfClass<IcxSysExpertPlugPlay, CSlotRecorder>()},
            {&IID_IcxSysExpertDiagnostic, diagnostic},
            {&IID_IcxSysExpertDiagnostic2, diagnostic},
            {nullptr, 0},
        };
        return map;
    }

    HRESULT GetExpertId(GUID*) override { return hit(3); }
    HRESULT GetExpertName(wchar_t**) override { return hit(4); }
    HRESULT GetExpertVersion(wchar_t**) override { return hit(5); }
    HRESULT GetExpertCategory(wchar_t**) override { return hit(6); }
    HRESULT Initialize() override { return hit(7); }
    HRESULT Uninitialize() override { return hit(8); }
    HRESULT GetAllItemProperties(IcxSysPropertyBagCollection*) override { return hit(9); }
    HRESULT EnumItemNames(IcxSysEnumStringList**) override { return hit(10); }
    HRESULT GetItemProperties(const wchar_t*, IcxSysPropertyBag**) override { return hit(11); }
    HRESULT GetItemPropertiesByTag(const wchar_t*, uint32_t, const uint32_t*, int32_t,
                                   IcxSysPropertyBag**) override { return hit(12); }
    HRESULT Unsupported() override { return hit(13); }
    HRESULT RenameAlias(const wchar_t*, const wchar_t*, int32_t, int32_t*, wchar_t**) override {
        return hit(14);
    }
    HRESULT ValidateItemProperties(const wchar_t*, IcxSysPropertyBag*, IcxSysEnumPropertyTag**,
                                   wchar_t**) override { return hit(15); }
    HRESULT SetItemProperties(const wchar_t*, IcxSysPropertyBag*, int32_t*) override {
        return hit(16);
    }
    HRESULT ResetDevice(const wchar_t*, int32_t) override { return hit(19); }
    HRESULT SelfTest(const wchar_t*, int32_t, wchar_t**) override { return hit(20); }
    HRESULT SelfCalibrate(const wchar_t*, wchar_t**) override { return hit(21); }
    HRESULT ResetDevice2(const wchar_t*, int32_t, int32_t*, wchar_t**) override { return hit(22); }
    HRESULT SetNotificationSink(IcxSysNotificationSink*) override { return hit(23); }
    HRESULT SetItemProperties2(const wchar_t*, IcxSysPropertyBag*, int32_t*, wchar_t**) override {
        return hit(24);
    }
    HRESULT ObjectHook() override { return hit(25); }

    int last = -1;

private:
    HRESULT hit(int slot) {
        last = slot;
        return S_OK;
    }
};

// Calls a slot with enough null/zero arguments for any of the operations.
HRESULT callAny(void* table, std::size_t slot) {
    return callSlot<HRESULT>(table, slot, nullptr, nullptr, nullptr, nullptr, nullptr);
}

TEST(ExpertSlotsTest, EveryTableReachesItsOperations) {
    auto* object = CQXComObject<CSlotRecorder>::createInstance();
    ASSERT_NE(object, nullptr);
    object->AddRef();

    void* first = static_cast<IcxSysExpert2*>(object);
    for (int slot = 3; slot <= 25; ++slot) {
        if (slot == 17 || slot == 18) continue;  // destructors
        object->last = -1;
        EXPECT_EQ(callAny(first, slot), S_OK);
        EXPECT_EQ(object->last, slot) << "first table, slot " << slot;
    }

    void* plugPlay = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IcxSysExpertPlugPlay, &plugPlay), S_OK);
    EXPECT_NE(plugPlay, first);
    EXPECT_EQ(callAny(plugPlay, 3), S_OK);
    EXPECT_EQ(object->last, 23);

    void* diagnostic = nullptr;
    ASSERT_EQ(object->QueryInterface(IID_IcxSysExpertDiagnostic, &diagnostic), S_OK);
    const int forwarded[] = {19, 20, 21, 22};
    for (int slot = 3; slot <= 6; ++slot) {
        EXPECT_EQ(callAny(diagnostic, slot), S_OK);
        EXPECT_EQ(object->last, forwarded[slot - 3]) << "diagnostic table, slot " << slot;
    }

    for (const IID* iid : {&IID_IcxSysExpertInfo, &IID_IcxSysExpert, &IID_IcxSysExpert2}) {
        void* out = nullptr;
        ASSERT_EQ(object->QueryInterface(*iid, &out), S_OK);
        EXPECT_EQ(out, first);
        static_cast<IUnknown*>(out)->Release();
    }
    static_cast<IUnknown*>(plugPlay)->Release();
    static_cast<IUnknown*>(diagnostic)->Release();
    EXPECT_EQ(object->Release(), 0u);
}

}  // namespace
