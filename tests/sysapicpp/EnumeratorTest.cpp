// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/qx/dsc/HostString.h"
#include "sysapicpp/CQXComEnumOnSTL.h"

using namespace sysapicpp;

namespace {

QXComPtr<IcxSysEnumStringList> makeNames(std::vector<std::wstring> names) {
    IcxSysEnumStringList* raw = nullptr;
    EXPECT_EQ(CcxSysEnumItemNamesSTL<>::create(std::move(names), &raw), S_OK);
    return QXComPtr<IcxSysEnumStringList>(raw, false);
}

QXComPtr<IcxSysEnumPropertyTag> makeTags(std::set<uint32_t> tags) {
    IcxSysEnumPropertyTag* raw = nullptr;
    EXPECT_EQ(CcxSysEnumPropertyTagsSTL<>::create(std::move(tags), &raw), S_OK);
    return QXComPtr<IcxSysEnumPropertyTag>(raw, false);
}

// Takes everything that is left, one at a time.
std::vector<std::wstring> drain(IcxSysEnumStringList* names) {
    std::vector<std::wstring> out;
    wchar_t* name = nullptr;
    while (names->Next(1, &name, nullptr) == S_OK) {
        out.emplace_back(name, qx::dsc::hostStringLength(name));
        qx::dsc::freeHostString(name);
    }
    return out;
}

TEST(EnumeratorTest, NextReturnsHostStringsAndReportsShortBatches) {
    auto names = makeNames({L"a", L"bc", L"def"});
    wchar_t* batch[4] = {};
    uint32_t fetched = 99;
    EXPECT_EQ(names->Next(2, batch, &fetched), S_OK);
    ASSERT_EQ(fetched, 2u);
    EXPECT_EQ(qx::dsc::hostStringLength(batch[1]), 2u);
    EXPECT_EQ(std::wstring(batch[1]), L"bc");
    EXPECT_EQ(names->Next(2, batch + 2, &fetched), S_FALSE);
    ASSERT_EQ(fetched, 1u);
    EXPECT_EQ(std::wstring(batch[2]), L"def");
    for (wchar_t* s : batch) qx::dsc::freeHostString(s);
    EXPECT_EQ(names->Next(1, batch, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 0u);
}

TEST(EnumeratorTest, NullPointersAreRefused) {
    auto tags = makeTags({1, 2, 3});
    uint32_t batch[2] = {};
    uint32_t fetched = 0;
    EXPECT_EQ(tags->Next(2, batch, nullptr), E_POINTER);
    EXPECT_EQ(tags->Next(1, nullptr, &fetched), E_POINTER);
    EXPECT_EQ(tags->Clone(nullptr), E_POINTER);
    // The refused call did not move the position; a single item needs no count.
    EXPECT_EQ(tags->Next(1, batch, nullptr), S_OK);
    EXPECT_EQ(batch[0], 1u);
}

TEST(EnumeratorTest, SkipAndReset) {
    auto tags = makeTags({10, 20, 30});
    uint32_t tag = 0;
    uint32_t fetched = 0;
    EXPECT_EQ(tags->Skip(0), S_OK);
    EXPECT_EQ(tags->Skip(2), S_OK);
    EXPECT_EQ(tags->Next(1, &tag, &fetched), S_OK);
    EXPECT_EQ(tag, 30u);
    EXPECT_EQ(tags->Reset(), S_OK);
    EXPECT_EQ(tags->Skip(3), S_OK);  // exactly to the end
    EXPECT_EQ(tags->Reset(), S_OK);
    EXPECT_EQ(tags->Skip(5), S_FALSE);
    EXPECT_EQ(tags->Next(1, &tag, &fetched), S_FALSE);  // left at the end
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(tags->Reset(), S_OK);
    EXPECT_EQ(tags->Next(1, &tag, &fetched), S_OK);
    EXPECT_EQ(tag, 10u);
}

TEST(EnumeratorTest, CloneStartsAtTheSamePositionAndMovesIndependently) {
    auto names = makeNames({L"one", L"two", L"three"});
    ASSERT_EQ(names->Skip(1), S_OK);
    QXComPtr<IcxSysEnumStringList> clone;
    ASSERT_EQ(names->Clone(clone.receive()), S_OK);
    EXPECT_EQ(drain(clone.get()), (std::vector<std::wstring>{L"two", L"three"}));
    EXPECT_EQ(drain(names.get()), (std::vector<std::wstring>{L"two", L"three"}));
}

TEST(EnumeratorTest, ClonesKeepTheOwnersCollectionAlive) {
    auto names = makeNames({L"kept", L"alive"});
    QXComPtr<IcxSysEnumStringList> clone;
    ASSERT_EQ(names->Clone(clone.receive()), S_OK);
    QXComPtr<IcxSysEnumStringList> cloneOfClone;
    ASSERT_EQ(clone->Clone(cloneOfClone.receive()), S_OK);
    names.reset();
    EXPECT_EQ(drain(clone.get()), (std::vector<std::wstring>{L"kept", L"alive"}));
    clone.reset();
    EXPECT_EQ(cloneOfClone->Reset(), S_OK);
    EXPECT_EQ(drain(cloneOfClone.get()), (std::vector<std::wstring>{L"kept", L"alive"}));
}

TEST(EnumeratorTest, EnumeratorAnswersItsOwnIdentifierOnly) {
    auto tags = makeTags({1});
    void* out = nullptr;
    ASSERT_EQ(tags->QueryInterface(IID_IcxSysEnumPropertyTag, &out), S_OK);
    EXPECT_EQ(out, tags.get());
    static_cast<IUnknown*>(out)->Release();
    EXPECT_EQ(tags->QueryInterface(IID_IcxSysEnumStringList, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
}

TEST(EnumeratorTest, EnumeratorWithoutCollectionFails) {
    using Bare = CQXComEnumOnSTL<IcxSysEnumPropertyTag, &IID_IcxSysEnumPropertyTag, uint32_t,
                                 QXCopyPropertyTag, std::set<uint32_t>>;
    auto* bare = CQXComObject<Bare>::createInstance();
    ASSERT_NE(bare, nullptr);
    QXComPtr<IcxSysEnumPropertyTag> tags(bare);
    uint32_t tag = 0;
    uint32_t fetched = 0;
    EXPECT_EQ(tags->Next(1, &tag, &fetched), E_FAIL);
    EXPECT_EQ(tags->Reset(), E_FAIL);
    EXPECT_EQ(tags->Skip(1), E_FAIL);
}

}  // namespace
