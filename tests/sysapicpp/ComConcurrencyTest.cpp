// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "sysapicpp/CQXComEnumOnSTL.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"

using namespace sysapicpp;

namespace {

std::atomic<int> gDestroyed{0};

class CWatched : public IcxSysEnumPropertyTag,
                 public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    static const QXInterfaceMapEntry* interfaceMap() {
        static const QXInterfaceMapEntry map[] = {
            {&IID_IcxSysEnumPropertyTag, qxOffsetOfClass<IcxSysEnumPropertyTag, CWatched>()},
            {nullptr, 0},
        };
        return map;
    }
    HRESULT Next(uint32_t, uint32_t*, uint32_t*) override { return E_NOTIMPL; }
    HRESULT Skip(uint32_t) override { return E_NOTIMPL; }
    HRESULT Reset() override { return E_NOTIMPL; }
    HRESULT Clone(IcxSysEnumPropertyTag**) override { return E_NOTIMPL; }
    ~CWatched() override { ++gDestroyed; }
};

TEST(ComConcurrencyTest, ManyThreadsCountingEndAtTheRightCountAndFreeOnce) {
    gDestroyed = 0;
    auto* object = CQXComObject<CWatched>::createInstance();
    ASSERT_NE(object, nullptr);
    object->AddRef();

    constexpr int kThreads = 8;
    constexpr int kRounds = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([object, t] {
            for (int i = 0; i < kRounds; ++i) {
                object->AddRef();
                if (i % 3 == 0) {
                    void* out = nullptr;
                    object->QueryInterface(IID_IUnknown, &out);
                    static_cast<IUnknown*>(out)->Release();
                }
                object->Release();
            }
            // Each thread leaves one reference behind, except the odd ones.
            if (t % 2 == 0) object->AddRef();
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(object->AddRef(), 1u + kThreads / 2 + 1);
    EXPECT_EQ(gDestroyed.load(), 0);

    // Releasing from several threads at once frees the object exactly once.
    threads.clear();
    for (int t = 0; t < kThreads / 2 + 2; ++t) threads.emplace_back([object] { object->Release(); });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(gDestroyed.load(), 1);
}

TEST(ComConcurrencyTest, LockedBagMakesOtherThreadsWait) {
    IcxSysPropertyBag4* raw = nullptr;
    ASSERT_EQ(CcxDynamicPropertyBag::createInstance(&raw), S_OK);
    QXComPtr<IcxSysPropertyBag4> bag(raw, false);

    ASSERT_EQ(bag->Lock(), S_OK);
    ASSERT_EQ(bag->SetInt32(1, 1), S_OK);  // the holder's own calls proceed
    std::atomic<bool> written{false};
    std::thread other([&] {
        EXPECT_EQ(bag->SetInt32(1, 2), S_OK);
        written = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(written.load());
    int32_t value = 0;
    EXPECT_EQ(bag->GetInt32(1, &value), S_OK);
    EXPECT_EQ(value, 1);
    ASSERT_EQ(bag->Unlock(), S_OK);
    other.join();
    EXPECT_TRUE(written.load());
    EXPECT_EQ(bag->GetInt32(1, &value), S_OK);
    EXPECT_EQ(value, 2);
}

TEST(ComConcurrencyTest, ConcurrentWritersAndClonesKeepTheBagConsistent) {
    IcxSysPropertyBag4* raw = nullptr;
    ASSERT_EQ(CcxDynamicPropertyBag::createInstance(&raw), S_OK);
    QXComPtr<IcxSysPropertyBag4> bag(raw, false);

    std::vector<std::thread> threads;
    for (uint32_t t = 0; t < 4; ++t) {
        threads.emplace_back([&bag, t] {
            for (uint32_t i = 0; i < 500; ++i) {
                EXPECT_EQ(bag->SetUInt32(t * 1000 + i, i), S_OK);
                if (i % 50 == 0) {
                    QXComPtr<IcxSysPropertyBag> clone;
                    EXPECT_EQ(bag->Clone(clone.receive()), S_OK);
                    EXPECT_EQ(clone->HasProperty(t * 1000 + i), S_OK);
                }
            }
        });
    }
    for (auto& thread : threads) thread.join();
    QXComPtr<IcxSysEnumPropertyTag> tags;
    ASSERT_EQ(bag->EnumModifiedTags(tags.receive()), S_OK);
    EXPECT_EQ(tags->Skip(2000), S_OK);
    uint32_t tag = 0;
    uint32_t fetched = 0;
    EXPECT_EQ(tags->Next(1, &tag, &fetched), S_FALSE);
}

}  // namespace
