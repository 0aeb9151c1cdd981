// SPDX-License-Identifier: MIT
// The host reaches every operation by its slot number; these tests call the tables
// directly so that a reordered declaration cannot go unnoticed.

#include <gtest/gtest.h>

#include <cwchar>
#include <set>
#include <string>
#include <vector>

#include "RawSlots.h"
#include "platform/qx/dsc/HostString.h"
#include "sysapicpp/CQXComEnumOnSTL.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"

using namespace sysapicpp;

namespace {

using RefFn = uint32_t;

void checkUnknownSlots(void* object, const IID& iid) {
    void* out = nullptr;
    ASSERT_EQ(callSlot<HRESULT>(object, 0, &iid, &out), S_OK);
    EXPECT_EQ(out, object);
    EXPECT_EQ(callSlot<RefFn>(object, 1), 3u);  // creator's, the query's, this one
    EXPECT_EQ(callSlot<RefFn>(object, 2), 2u);
    EXPECT_EQ(callSlot<RefFn>(object, 2), 1u);
}

TEST(AbiTest, TagEnumeratorSlots) {
    IcxSysEnumPropertyTag* raw = nullptr;
    ASSERT_EQ(CcxSysEnumPropertyTagsSTL<>::create({5, 6, 7}, &raw), S_OK);
    QXComPtr<IcxSysEnumPropertyTag> holder(raw, false);
    void* e = raw;
    checkUnknownSlots(e, IID_IcxSysEnumPropertyTag);

    uint32_t tags[2] = {};
    uint32_t fetched = 0;
    EXPECT_EQ(callSlot<HRESULT>(e, 3, uint32_t{2}, tags, &fetched), S_OK);  // Next
    EXPECT_EQ(tags[1], 6u);
    EXPECT_EQ(callSlot<HRESULT>(e, 4, uint32_t{2}), S_FALSE);  // Skip past the end
    EXPECT_EQ(callSlot<HRESULT>(e, 5), S_OK);                  // Reset
    IcxSysEnumPropertyTag* clone = nullptr;
    ASSERT_EQ(callSlot<HRESULT>(e, 6, &clone), S_OK);  // Clone
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(callSlot<HRESULT>(clone, 3, uint32_t{1}, tags, &fetched), S_OK);
    EXPECT_EQ(tags[0], 5u);  // Reset took the original back to the start
    callSlot<RefFn>(clone, 2);
}

TEST(AbiTest, NameEnumeratorSlots) {
    IcxSysEnumStringList* raw = nullptr;
    ASSERT_EQ(CcxSysEnumItemNamesSTL<>::create({L"x", L"y"}, &raw), S_OK);
    QXComPtr<IcxSysEnumStringList> holder(raw, false);
    void* e = raw;
    checkUnknownSlots(e, IID_IcxSysEnumStringList);

    wchar_t* name = nullptr;
    uint32_t fetched = 0;
    EXPECT_EQ(callSlot<HRESULT>(e, 4, uint32_t{1}), S_OK);  // Skip
    EXPECT_EQ(callSlot<HRESULT>(e, 3, uint32_t{1}, &name, &fetched), S_OK);  // Next
    EXPECT_EQ(std::wstring(name), L"y");
    qx::dsc::freeHostString(name);
    EXPECT_EQ(callSlot<HRESULT>(e, 5), S_OK);  // Reset
    IcxSysEnumStringList* clone = nullptr;
    ASSERT_EQ(callSlot<HRESULT>(e, 6, &clone), S_OK);  // Clone
    EXPECT_EQ(callSlot<HRESULT>(clone, 3, uint32_t{1}, &name, &fetched), S_OK);
    EXPECT_EQ(std::wstring(name), L"x");
    qx::dsc::freeHostString(name);
    callSlot<RefFn>(clone, 2);
}

std::set<uint32_t> drainTags(IcxSysEnumPropertyTag* tags) {
    std::set<uint32_t> out;
    uint32_t tag = 0;
    while (tags && callSlot<HRESULT>(tags, 3, uint32_t{1}, &tag, static_cast<uint32_t*>(nullptr)) == S_OK)
        out.insert(tag);
    if (tags) callSlot<RefFn>(tags, 2);
    return out;
}

TEST(AbiTest, PropertyBagSlots) {
    IcxSysPropertyBag4* raw = nullptr;
    ASSERT_EQ(CcxDynamicPropertyBag::createInstance(&raw), S_OK);
    QXComPtr<IcxSysPropertyBag4> holder(raw, false);
    void* b = raw;
    checkUnknownSlots(b, IID_IcxSysPropertyBag4);

    const GUID guid = {0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    const cxSysAttrTimestampUTC stamp = {0, 3786912000};  // 2024-01-01 UTC
    EXPECT_EQ(callSlot<HRESULT>(b, 8, 1u, int32_t{5}), S_OK);          // SetBool
    EXPECT_EQ(callSlot<HRESULT>(b, 9, 2u, int32_t{-7}), S_OK);         // SetInt32
    EXPECT_EQ(callSlot<HRESULT>(b, 10, 3u, uint32_t{0xFFFFFFF0}), S_OK);  // SetUInt32
    EXPECT_EQ(callSlot<HRESULT>(b, 11, 4u, 2.5), S_OK);                // SetDouble
    EXPECT_EQ(callSlot<HRESULT>(b, 12, 5u, &guid), S_OK);              // SetGuid
    EXPECT_EQ(callSlot<HRESULT>(b, 13, 6u, L"text"), S_OK);            // SetString
    EXPECT_EQ(callSlot<HRESULT>(b, 14, 7u, 2024, 1, 1, 0, 0, 0), E_NOTIMPL);  // SetTimestampFields
    EXPECT_EQ(callSlot<HRESULT>(b, 26, 7u, &stamp), S_OK);             // SetTimestamp

    int32_t i = 0;
    uint32_t u = 0;
    double d = 0;
    GUID g{};
    wchar_t* s = nullptr;
    cxSysAttrTimestampUTC t{};
    EXPECT_EQ(callSlot<HRESULT>(b, 4, 1u), S_OK);  // HasProperty
    EXPECT_EQ(callSlot<HRESULT>(b, 4, 99u), S_FALSE);
    EXPECT_EQ(callSlot<HRESULT>(b, 5, 6u, &i), S_OK);  // GetPropertyType
    EXPECT_EQ(i, 6);
    EXPECT_EQ(callSlot<HRESULT>(b, 15, 1u, &i), S_OK);  // GetBool
    EXPECT_EQ(i, 1);
    EXPECT_EQ(callSlot<HRESULT>(b, 16, 2u, &i), S_OK);  // GetInt32
    EXPECT_EQ(i, -7);
    EXPECT_EQ(callSlot<HRESULT>(b, 17, 3u, &u), S_OK);  // GetUInt32
    EXPECT_EQ(u, 0xFFFFFFF0u);
    EXPECT_EQ(callSlot<HRESULT>(b, 18, 4u, &d), S_OK);  // GetDouble
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(callSlot<HRESULT>(b, 19, 5u, &g), S_OK);  // GetGuid
    EXPECT_TRUE(g == guid);
    EXPECT_EQ(callSlot<HRESULT>(b, 20, 6u, &s), S_OK);  // GetString
    EXPECT_EQ(std::wstring(s), L"text");
    qx::dsc::freeHostString(s);
    int32_t f[6] = {};
    EXPECT_EQ(callSlot<HRESULT>(b, 21, 7u, f, f + 1, f + 2, f + 3, f + 4, f + 5), S_OK);
    EXPECT_GE(f[0], 2023);  // GetTimestampFields (local time: the day may differ)
    EXPECT_EQ(callSlot<HRESULT>(b, 25, 7u, &t), S_OK);  // GetTimestamp
    EXPECT_EQ(t.seconds, stamp.seconds);

    IcxSysEnumPropertyTag* tags = nullptr;
    EXPECT_EQ(callSlot<HRESULT>(b, 3, &tags), S_OK);  // EnumTags
    EXPECT_EQ(drainTags(tags), (std::set<uint32_t>{1, 2, 3, 4, 5, 6, 7}));
    EXPECT_EQ(callSlot<HRESULT>(b, 24, &tags), S_OK);  // EnumModifiedTags
    EXPECT_EQ(drainTags(tags).size(), 7u);

    bool anyLeft = false;
    EXPECT_EQ(callSlot<HRESULT>(b, 29, 1u, &anyLeft), S_OK);  // ClearModifiedTag
    EXPECT_TRUE(anyLeft);
    EXPECT_EQ(callSlot<HRESULT>(b, 23), S_OK);       // ClearModified
    EXPECT_EQ(callSlot<HRESULT>(b, 23), S_FALSE);
    EXPECT_EQ(callSlot<HRESULT>(b, 30, 2u), S_OK);   // MarkModified
    EXPECT_EQ(callSlot<HRESULT>(b, 24, &tags), S_OK);
    EXPECT_EQ(drainTags(tags), (std::set<uint32_t>{2}));

    IcxSysPropertyBag* clone = nullptr;
    EXPECT_EQ(callSlot<HRESULT>(b, 22, &clone), S_OK);  // Clone
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(callSlot<HRESULT>(clone, 16, 2u, &i), S_OK);
    EXPECT_EQ(i, -7);
    callSlot<RefFn>(clone, 2);

    EXPECT_EQ(callSlot<HRESULT>(b, 27), S_OK);      // Lock
    EXPECT_EQ(callSlot<HRESULT>(b, 28), S_OK);      // Unlock
    EXPECT_EQ(callSlot<HRESULT>(b, 28), E_FAIL);

    EXPECT_EQ(callSlot<HRESULT>(b, 6, 2u), S_OK);   // RemoveProperty
    EXPECT_EQ(callSlot<HRESULT>(b, 4, 2u), S_FALSE);
    EXPECT_EQ(callSlot<HRESULT>(b, 7), S_OK);       // RemoveAll
    EXPECT_EQ(callSlot<HRESULT>(b, 4, 1u), S_FALSE);
}

TEST(AbiTest, EveryBagIdentifierReachesTheSameTable) {
    IcxSysPropertyBag4* raw = nullptr;
    ASSERT_EQ(CcxDynamicPropertyBag::createInstance(&raw), S_OK);
    QXComPtr<IcxSysPropertyBag4> holder(raw, false);
    for (const IID* iid : {&IID_IUnknown, &IID_IcxSysPropertyBag, &IID_IcxSysPropertyBag2,
                           &IID_IcxSysPropertyBag3, &IID_IcxSysPropertyBag4}) {
        void* out = nullptr;
        ASSERT_EQ(callSlot<HRESULT>(raw, 0, iid, &out), S_OK);
        EXPECT_EQ(out, static_cast<void*>(raw));
        callSlot<RefFn>(out, 2);
    }
    void* out = nullptr;
    EXPECT_EQ(callSlot<HRESULT>(raw, 0, &IID_IcxSysEnumPropertyTag, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

}  // namespace
