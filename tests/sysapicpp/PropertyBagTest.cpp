// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "platform/qx/dsc/HostString.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"

using namespace sysapicpp;

namespace {

QXComPtr<IcxSysPropertyBag4> newBag() {
    IcxSysPropertyBag4* raw = nullptr;
    EXPECT_EQ(CcxDynamicPropertyBag::createInstance(&raw), S_OK);
    return QXComPtr<IcxSysPropertyBag4>(raw, false);
}

// S_FALSE and no enumerator count as an empty set.
std::set<uint32_t> tagsOf(IcxSysPropertyBag4* bag, bool modified) {
    QXComPtr<IcxSysEnumPropertyTag> tags;
    const HRESULT hr = modified ? bag->EnumModifiedTags(tags.receive()) : bag->EnumTags(tags.receive());
    EXPECT_TRUE(hr == S_OK || hr == S_FALSE);
    EXPECT_EQ(hr == S_OK, static_cast<bool>(tags));
    std::set<uint32_t> out;
    uint32_t batch[3];
    uint32_t fetched = 0;
    while (tags && tags->Next(3, batch, &fetched) >= 0 && fetched > 0)
        out.insert(batch, batch + fetched);
    return out;
}

const GUID kGuid = {0xA1B2C3D4, 0x1122, 0x3344, {1, 2, 3, 4, 5, 6, 7, 8}};
const cxSysAttrTimestampUTC kStamp = {0x8000000000000000ull, 3786912000};

struct TypeOps {
    int32_t code;
    std::function<HRESULT(IcxSysPropertyBag4*, uint32_t)> set;
    std::function<HRESULT(IcxSysPropertyBag4*, uint32_t)> get;
};

std::vector<TypeOps> allTypes() {
    return {
        {1, [](auto* b, uint32_t t) { return b->SetBool(t, 1); },
         [](auto* b, uint32_t t) { int32_t v = 7; HRESULT hr = b->GetBool(t, &v); EXPECT_EQ(v, hr == S_OK ? 1 : 0); return hr; }},
        {2, [](auto* b, uint32_t t) { return b->SetInt32(t, -5); },
         [](auto* b, uint32_t t) { int32_t v = 0; HRESULT hr = b->GetInt32(t, &v); if (hr == S_OK) { EXPECT_EQ(v, -5); } return hr; }},
        {3, [](auto* b, uint32_t t) { return b->SetUInt32(t, 5); },
         [](auto* b, uint32_t t) { uint32_t v = 0; HRESULT hr = b->GetUInt32(t, &v); if (hr == S_OK) { EXPECT_EQ(v, 5u); } return hr; }},
        {4, [](auto* b, uint32_t t) { return b->SetDouble(t, 0.25); },
         [](auto* b, uint32_t t) { double v = 0; HRESULT hr = b->GetDouble(t, &v); if (hr == S_OK) { EXPECT_EQ(v, 0.25); } return hr; }},
        {5, [](auto* b, uint32_t t) { return b->SetGuid(t, &kGuid); },
         [](auto* b, uint32_t t) { GUID v{}; HRESULT hr = b->GetGuid(t, &v); if (hr == S_OK) { EXPECT_TRUE(v == kGuid); } return hr; }},
        {6, [](auto* b, uint32_t t) { return b->SetString(t, L"w\u00e9rt"); },
         [](auto* b, uint32_t t) {
             wchar_t* v = reinterpret_cast<wchar_t*>(0x1);
             HRESULT hr = b->GetString(t, &v);
             if (hr == S_OK) { EXPECT_EQ(std::wstring(v), L"w\u00e9rt"); } else { EXPECT_EQ(v, nullptr); }
             qx::dsc::freeHostString(hr == S_OK ? v : nullptr);
             return hr; }},
        {7, [](auto* b, uint32_t t) { return b->SetTimestamp(t, &kStamp); },
         [](auto* b, uint32_t t) { cxSysAttrTimestampUTC v{}; HRESULT hr = b->GetTimestamp(t, &v);
             if (hr == S_OK) { EXPECT_EQ(v.seconds, kStamp.seconds); EXPECT_EQ(v.fraction, kStamp.fraction); }
             return hr; }},
    };
}

TEST(PropertyBagTest, EachTypeIsReadAndWrittenOnlyAsItself) {
    for (const auto& stored : allTypes()) {
        for (const auto& other : allTypes()) {
            SCOPED_TRACE("stored type " + std::to_string(stored.code) + ", other " +
                         std::to_string(other.code));
            auto bag = newBag();
            ASSERT_EQ(stored.set(bag.get(), 42), S_OK);
            if (stored.code == other.code) {
                EXPECT_EQ(other.get(bag.get(), 42), S_OK);
                EXPECT_EQ(other.set(bag.get(), 42), S_OK);  // overwrite in place
                continue;
            }
            EXPECT_EQ(other.get(bag.get(), 42), E_SYSAPI_PROPERTY_TYPE_MISMATCH);
            EXPECT_EQ(other.set(bag.get(), 42), E_SYSAPI_PROPERTY_TYPE_MISMATCH);
            int32_t type = 0;
            EXPECT_EQ(bag->GetPropertyType(42, &type), S_OK);
            EXPECT_EQ(type, stored.code);
            EXPECT_EQ(stored.get(bag.get(), 42), S_OK);  // unchanged by the refused set
        }
    }
}

TEST(PropertyBagTest, MissingTagsAreReportedByEveryReader) {
    auto bag = newBag();
    EXPECT_EQ(bag->HasProperty(1), S_FALSE);
    for (const auto& type : allTypes()) EXPECT_EQ(type.get(bag.get(), 1), E_SYSAPI_PROPERTY_NOT_FOUND);
    int32_t code = 0;
    EXPECT_EQ(bag->GetPropertyType(1, &code), E_SYSAPI_PROPERTY_NOT_FOUND);
    EXPECT_EQ(bag->RemoveProperty(1), E_SYSAPI_PROPERTY_NOT_FOUND);
    EXPECT_EQ(bag->MarkModified(1), E_SYSAPI_PROPERTY_NOT_FOUND);
    EXPECT_EQ(bag->ClearModifiedTag(1, nullptr), E_SYSAPI_PROPERTY_NOT_FOUND);
    QXComPtr<IcxSysEnumPropertyTag> tags;
    EXPECT_EQ(bag->EnumTags(tags.receive()), S_FALSE);
    EXPECT_FALSE(tags);
    EXPECT_EQ(bag->EnumTags(nullptr), E_POINTER);
    EXPECT_EQ(bag->EnumModifiedTags(nullptr), E_POINTER);
}

TEST(PropertyBagTest, BoolStoresAnyNonZeroAsTrue) {
    auto bag = newBag();
    for (int32_t input : {7, -1, 1, 0}) {
        ASSERT_EQ(bag->SetBool(1, input), S_OK);
        int32_t flag = 99;
        ASSERT_EQ(bag->GetBool(1, &flag), S_OK);
        EXPECT_EQ(flag, input != 0 ? 1 : 0) << input;
    }
}

TEST(PropertyBagTest, ModifiedSetFollowsSetMarkClearAndRemove) {
    auto bag = newBag();
    ASSERT_EQ(bag->SetInt32(10, 1), S_OK);
    ASSERT_EQ(bag->SetInt32(20, 2), S_OK);
    EXPECT_EQ(tagsOf(bag.get(), true), (std::set<uint32_t>{10, 20}));
    EXPECT_EQ(bag->ClearModified(), S_OK);
    EXPECT_EQ(bag->ClearModified(), S_FALSE);
    EXPECT_EQ(tagsOf(bag.get(), true), std::set<uint32_t>{});
    EXPECT_EQ(bag->MarkModified(10), S_OK);
    EXPECT_EQ(tagsOf(bag.get(), true), std::set<uint32_t>{10});

    bool left = true;
    EXPECT_EQ(bag->ClearModifiedTag(10, &left), S_OK);
    EXPECT_FALSE(left);
    EXPECT_EQ(bag->ClearModifiedTag(10, &left), S_FALSE);

    // Setting an equal value still marks the tag.
    ASSERT_EQ(bag->SetInt32(20, 2), S_OK);
    ASSERT_EQ(bag->SetInt32(10, 1), S_OK);
    EXPECT_EQ(bag->ClearModifiedTag(10, &left), S_OK);
    EXPECT_TRUE(left);
    EXPECT_EQ(bag->RemoveProperty(20), S_OK);
    EXPECT_EQ(tagsOf(bag.get(), true), std::set<uint32_t>{});
    EXPECT_EQ(tagsOf(bag.get(), false), std::set<uint32_t>{10});
    ASSERT_EQ(bag->SetInt32(30, 3), S_OK);
    EXPECT_EQ(bag->RemoveAll(), S_OK);
    EXPECT_EQ(tagsOf(bag.get(), true), std::set<uint32_t>{});
    EXPECT_EQ(bag->HasProperty(10), S_FALSE);
}

TEST(PropertyBagTest, EnumTagsIsAnAscendingSnapshot) {
    auto bag = newBag();
    for (uint32_t tag : {0x0C005000u, 0x01001000u, 0xFFFFFFFFu, 0u}) ASSERT_EQ(bag->SetUInt32(tag, 1), S_OK);
    QXComPtr<IcxSysEnumPropertyTag> tags;
    ASSERT_EQ(bag->EnumTags(tags.receive()), S_OK);
    ASSERT_EQ(bag->RemoveAll(), S_OK);  // the enumerator keeps its own copy
    uint32_t batch[5] = {};
    uint32_t fetched = 0;
    EXPECT_EQ(tags->Next(5, batch, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 4u);
    EXPECT_EQ(std::vector<uint32_t>(batch, batch + 4),
              (std::vector<uint32_t>{0u, 0x01001000u, 0x0C005000u, 0xFFFFFFFFu}));
}

TEST(PropertyBagTest, CloneCopiesEveryTypeWithAnEmptyModifiedSet) {
    auto bag = newBag();
    uint32_t tag = 100;
    for (const auto& type : allTypes()) ASSERT_EQ(type.set(bag.get(), tag++), S_OK);
    ASSERT_EQ(bag->SetString(200, nullptr), S_OK);

    QXComPtr<IcxSysPropertyBag> cloneAsBag;
    ASSERT_EQ(bag->Clone(cloneAsBag.receive()), S_OK);
    QXComPtr<IcxSysPropertyBag4> clone;
    ASSERT_EQ(cloneAsBag->QueryInterface(IID_IcxSysPropertyBag4, reinterpret_cast<void**>(clone.receive())), S_OK);
    ASSERT_NE(clone.get(), bag.get());

    tag = 100;
    for (const auto& type : allTypes()) {
        SCOPED_TRACE(type.code);
        int32_t code = 0;
        EXPECT_EQ(clone->GetPropertyType(tag, &code), S_OK);
        EXPECT_EQ(code, type.code);
        EXPECT_EQ(type.get(clone.get(), tag++), S_OK);
    }
    wchar_t* empty = nullptr;
    EXPECT_EQ(clone->GetString(200, &empty), S_OK);
    EXPECT_TRUE(empty == nullptr || *empty == L'\0');
    qx::dsc::freeHostString(empty);

    QXComPtr<IcxSysEnumPropertyTag> modified;
    EXPECT_EQ(clone->EnumModifiedTags(modified.receive()), S_FALSE);
    EXPECT_FALSE(modified);
    EXPECT_EQ(tagsOf(bag.get(), true).size(), 8u);  // the source keeps its own

    // The copy is independent of its source.
    ASSERT_EQ(clone->SetInt32(101, 9), S_OK);
    int32_t original = 0;
    ASSERT_EQ(bag->GetInt32(101, &original), S_OK);
    EXPECT_EQ(original, -5);
    EXPECT_EQ(bag->Clone(nullptr), E_POINTER);
}

TEST(PropertyBagTest, LockCountsMustBalance) {
    auto bag = newBag();
    EXPECT_EQ(bag->Unlock(), E_FAIL);
    EXPECT_EQ(bag->Lock(), S_OK);
    EXPECT_EQ(bag->Lock(), S_OK);
    EXPECT_EQ(bag->SetInt32(1, 1), S_OK);
    EXPECT_EQ(bag->Unlock(), S_OK);
    EXPECT_EQ(bag->Unlock(), S_OK);
    EXPECT_EQ(bag->Unlock(), E_FAIL);
}

TEST(PropertyBagTest, TimestampFieldsAreLocalTimeRoundedToTheSecond) {
    auto bag = newBag();
    int32_t f[6];
    auto fields = [&](uint32_t tag) {
        std::fill(f, f + 6, 0);
        return bag->GetTimestampFields(tag, f, f + 1, f + 2, f + 3, f + 4, f + 5);
    };
    EXPECT_EQ(fields(1), E_SYSAPI_PROPERTY_NOT_FOUND);
    EXPECT_EQ(std::vector<int32_t>(f, f + 6), std::vector<int32_t>(6, -1));

    const cxSysAttrTimestampUTC zero{0, 0};
    ASSERT_EQ(bag->SetTimestamp(1, &zero), S_OK);
    EXPECT_EQ(fields(1), S_OK);
    EXPECT_EQ(std::vector<int32_t>(f, f + 6), std::vector<int32_t>(6, -1));

    ASSERT_EQ(bag->SetInt32(2, 0), S_OK);
    EXPECT_EQ(fields(2), E_SYSAPI_PROPERTY_TYPE_MISMATCH);
    EXPECT_EQ(std::vector<int32_t>(f, f + 6), std::vector<int32_t>(6, -1));

    // 2024-03-05 06:07:08 UTC plus three quarters of a second rounds up to :09.
    const time_t unixSeconds = 1709618828;
    const cxSysAttrTimestampUTC stamp{0xC000000000000000ull, unixSeconds + 2082844800};
    ASSERT_EQ(bag->SetTimestamp(3, &stamp), S_OK);
    EXPECT_EQ(fields(3), S_OK);
    const time_t rounded = unixSeconds + 1;
    std::tm local{};
    ASSERT_NE(localtime_r(&rounded, &local), nullptr);
    EXPECT_EQ(std::vector<int32_t>(f, f + 6),
              (std::vector<int32_t>{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                    local.tm_hour, local.tm_min, local.tm_sec}));
    EXPECT_EQ(bag->SetTimestampFields(3, 2024, 1, 1, 0, 0, 0), E_NOTIMPL);
}

TEST(PropertyBagTest, NullArgumentsAreRefused) {
    auto bag = newBag();
    ASSERT_EQ(bag->SetInt32(1, 1), S_OK);
    EXPECT_EQ(bag->GetInt32(1, nullptr), E_POINTER);
    EXPECT_EQ(bag->GetString(1, nullptr), E_POINTER);
    EXPECT_EQ(bag->SetGuid(2, nullptr), E_POINTER);
    EXPECT_EQ(bag->SetTimestamp(2, nullptr), E_POINTER);
    EXPECT_EQ(bag->HasProperty(2), S_FALSE);
}

}  // namespace
