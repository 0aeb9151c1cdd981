// SPDX-License-Identifier: MIT
// Copying from a bag that answers only the first bag interface: the host's older bags.

#include <gtest/gtest.h>

#include "platform/qx/dsc/HostString.h"
#include "sysapicpp/CQXComObject.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"

using namespace sysapicpp;

namespace {

class COldBag : public IcxSysPropertyBag,
                public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    static const QXInterfaceMapEntry* interfaceMap() {
        static const QXInterfaceMapEntry map[] = {
            {&IID_IcxSysPropertyBag, qxOffsetOfClass<IcxSysPropertyBag, COldBag>()},
            {nullptr, 0},
        };
        return map;
    }
    explicit COldBag(IcxSysPropertyBag4* inner) : inner_(inner) {}

    HRESULT EnumTags(IcxSysEnumPropertyTag** out) override { return inner_->EnumTags(out); }
    HRESULT HasProperty(uint32_t t) override { return inner_->HasProperty(t); }
    HRESULT GetPropertyType(uint32_t t, int32_t* v) override { return inner_->GetPropertyType(t, v); }
    HRESULT RemoveProperty(uint32_t t) override { return inner_->RemoveProperty(t); }
    HRESULT RemoveAll() override { return inner_->RemoveAll(); }
    HRESULT SetBool(uint32_t t, int32_t v) override { return inner_->SetBool(t, v); }
    HRESULT SetInt32(uint32_t t, int32_t v) override { return inner_->SetInt32(t, v); }
    HRESULT SetUInt32(uint32_t t, uint32_t v) override { return inner_->SetUInt32(t, v); }
    HRESULT SetDouble(uint32_t t, double v) override { return inner_->SetDouble(t, v); }
    HRESULT SetGuid(uint32_t t, const GUID* v) override { return inner_->SetGuid(t, v); }
    HRESULT SetString(uint32_t t, const wchar_t* v) override { return inner_->SetString(t, v); }
    HRESULT SetTimestampFields(uint32_t t, int32_t a, int32_t b, int32_t c, int32_t d, int32_t e,
                               int32_t f) override {
        return inner_->SetTimestampFields(t, a, b, c, d, e, f);
    }
    HRESULT GetBool(uint32_t t, int32_t* v) override { return inner_->GetBool(t, v); }
    HRESULT GetInt32(uint32_t t, int32_t* v) override { return inner_->GetInt32(t, v); }
    HRESULT GetUInt32(uint32_t t, uint32_t* v) override { return inner_->GetUInt32(t, v); }
    HRESULT GetDouble(uint32_t t, double* v) override { return inner_->GetDouble(t, v); }
    HRESULT GetGuid(uint32_t t, GUID* v) override { return inner_->GetGuid(t, v); }
    HRESULT GetString(uint32_t t, wchar_t** v) override { return inner_->GetString(t, v); }
    HRESULT GetTimestampFields(uint32_t t, int32_t* a, int32_t* b, int32_t* c, int32_t* d,
                               int32_t* e, int32_t* f) override {
        return inner_->GetTimestampFields(t, a, b, c, d, e, f);
    }
    HRESULT Clone(IcxSysPropertyBag** out) override { return inner_->Clone(out); }

private:
    QXComPtr<IcxSysPropertyBag4> inner_;
};

QXComPtr<IcxSysPropertyBag4> newBag() {
    IcxSysPropertyBag4* raw = nullptr;
    EXPECT_EQ(CcxDynamicPropertyBag::createInstance(&raw), S_OK);
    return QXComPtr<IcxSysPropertyBag4>(raw, false);
}

TEST(ForeignBagCopyTest, TimestampsGoThroughLocalTimeAndModifiedTagsAreNotAsked) {
    auto inner = newBag();
    const int64_t unixSeconds = 1709618828;  // 2024-03-05 06:07:08 UTC
    const cxSysAttrTimestampUTC late{0xC000000000000000ull, unixSeconds + 2082844800};
    const cxSysAttrTimestampUTC unset{0, 0};
    ASSERT_EQ(inner->SetTimestamp(1, &late), S_OK);
    ASSERT_EQ(inner->SetTimestamp(2, &unset), S_OK);
    ASSERT_EQ(inner->SetString(3, L"name"), S_OK);
    ASSERT_EQ(inner->SetDouble(4, 1.5), S_OK);

    auto* old = CQXComObject<COldBag>::createInstance(inner.get());
    ASSERT_NE(old, nullptr);
    QXComPtr<IcxSysPropertyBag> source(old);

    auto target = newBag();
    ASSERT_EQ(target->SetInt32(99, 1), S_OK);  // replaced by the copy
    ASSERT_EQ(static_cast<CcxDynamicPropertyBag*>(target.get())->copyFrom(source.get()), S_OK);

    cxSysAttrTimestampUTC copied{};
    ASSERT_EQ(target->GetTimestamp(1, &copied), S_OK);
    EXPECT_EQ(copied.seconds, late.seconds + 1);  // rounded to the second, no fraction
    EXPECT_EQ(copied.fraction, 0u);
    ASSERT_EQ(target->GetTimestamp(2, &copied), S_OK);
    EXPECT_EQ(copied.seconds, 0);
    wchar_t* name = nullptr;
    ASSERT_EQ(target->GetString(3, &name), S_OK);
    EXPECT_EQ(std::wstring(name), L"name");
    qx::dsc::freeHostString(name);
    double d = 0;
    EXPECT_EQ(target->GetDouble(4, &d), S_OK);
    EXPECT_EQ(d, 1.5);
    EXPECT_EQ(target->HasProperty(99), S_FALSE);
    EXPECT_EQ(target->ClearModified(), S_FALSE);
}

}  // namespace
