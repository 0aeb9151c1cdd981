// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <thread>

#include "sysapicpp/HResultException.h"
#include "sysapicpp/cache/ItemCache.h"
#include "tests/sysapicpp/cache/FakeItems.h"

using namespace sysapicpp;

namespace {

// Reporters, refreshers and readers at once: no race, no lost report, no torn map.
TEST(ItemCacheConcurrencyTest, ReportsRefreshesAndQueriesFromManyThreads) {
    const std::vector<std::string> pool = {"a", "b", "c", "d", "e", "f"};
    fake::FakeItemFactory factory;
    factory.setNames(pool);
    ItemCache cache(factory);
    constexpr int kRounds = 300;
    std::vector<std::thread> threads;
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                const std::string& name = pool[(i + t) % pool.size()];
                cache.reportChange(1 + (i + t) % 3, name);
            }
        });
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds / 3; ++i) cache.refresh();
        });
        threads.emplace_back([&, t] {
            for (int i = 0; i < kRounds; ++i) {
                try {
                    ItemRef item = cache.getItem(pool[(i * (t + 1)) % pool.size()]);
                    item->invalidate();
                } catch (const ItemNotExistException&) {
                }
                for (const ItemRef& item : cache.getAllItems()) EXPECT_TRUE(item);
                std::vector<std::string> names;
                cache.getItemNames(names);
                EXPECT_LE(names.size(), pool.size());
            }
        });
    }
    for (std::thread& thread : threads) thread.join();

    // Whatever the interleaving, once the leftovers are applied the last reports decide.
    cache.refresh();
    cache.removedItems(pool);
    cache.addedItems({"c", "a"});
    cache.refresh();
    std::vector<std::string> names;
    cache.getItemNames(names);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "c"}));
}

}  // namespace
