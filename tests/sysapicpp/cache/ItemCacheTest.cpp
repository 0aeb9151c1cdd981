// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "sysapicpp/HResultException.h"
#include "sysapicpp/cache/ItemCache.h"
#include "tests/sysapicpp/cache/FakeItems.h"

using namespace sysapicpp;
using fake::fakeOf;

namespace {

using Names = std::vector<std::string>;

Names namesOf(ItemCache& cache) {
    Names names;
    cache.getItemNames(names);
    return names;
}

template <class F>
HRESULT codeOf(F&& call) {
    try {
        call();
    } catch (const HResultException& e) {
        return e.getCode();
    }
    return S_OK;
}

struct ItemCacheTest : ::testing::Test {
    fake::FakeItemFactory factory;
    ItemCache cache{factory};
};

TEST_F(ItemCacheTest, FirstRefreshLoadsEveryNameAndIgnoresEarlierReports) {
    factory.setNames({"b", "a"});
    cache.removedItem("a");
    cache.changedItem("b");
    cache.addedItem("z");
    EXPECT_TRUE(cache.isEmpty());
    cache.refresh();
    EXPECT_EQ(namesOf(cache), (Names{"a", "b"}));
    EXPECT_EQ(fakeOf(cache.getItem("b")).invalidations, 0);
    EXPECT_EQ(factory.created, 2);
}

TEST_F(ItemCacheTest, RemovalsThenChangesThenAdditions) {
    factory.setNames({"a", "b"});
    cache.refresh();
    const ItemRef a = cache.getItem("a");
    const ItemRef b = cache.getItem("b");
    cache.addedItem("a");                   // already cached: kept
    cache.reportChange(kItemsAdded, "b");   // removed first, so b is made anew
    cache.reportChange(kItemsRemoved, Names{"b", "nowhere"});
    cache.changedItems({"a", "nowhere"});
    cache.reportChange(0, "a");             // no change type: ignored
    cache.refresh();
    EXPECT_EQ(namesOf(cache), (Names{"a", "b"}));
    EXPECT_EQ(cache.getItem("a"), a);
    EXPECT_EQ(fakeOf(a).invalidations, 1);
    EXPECT_NE(cache.getItem("b"), b);
    EXPECT_EQ(cache.getAllItems().size(), 2u);

    EXPECT_EQ(codeOf([&] { cache.getItem("nowhere"); }), E_SYSAPI_ITEM_NOT_EXIST);
    EXPECT_FALSE(cache.hasItem("nowhere"));
    EXPECT_EQ(codeOf([&] { cache.reportChange(kChangeTypeInvalid, "a"); }), E_UNEXPECTED);
    EXPECT_EQ(codeOf([&] { cache.reportChange(kChangeTypeInvalid, Names{"a"}); }), E_UNEXPECTED);
}

TEST_F(ItemCacheTest, AFailedRefreshKeepsItsReportsAndAFailedFirstLoadIsTriedAgain) {
    factory.setNames({"a", "b"});
    factory.failures = 1;
    EXPECT_THROW(cache.refresh(), std::runtime_error);
    EXPECT_TRUE(cache.isEmpty());
    cache.refresh();
    EXPECT_EQ(namesOf(cache), (Names{"a", "b"}));

    cache.removedItem("a");
    cache.addedItem("c");
    factory.failures = 1;  // createItems fails after the removal was applied
    EXPECT_THROW(cache.refresh(), std::runtime_error);
    cache.changedItem("b");  // arrives while the failed reports wait
    cache.refresh();
    EXPECT_EQ(namesOf(cache), (Names{"b", "c"}));
    EXPECT_EQ(fakeOf(cache.getItem("b")).invalidations, 1);
}

}  // namespace
