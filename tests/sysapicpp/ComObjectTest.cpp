// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "sysapicpp/CQXComObject.h"

using namespace sysapicpp;

namespace {

class IFirst : public IUnknown {
public:
    virtual int first() = 0;
protected:
    ~IFirst() = default;
};
class ISecond : public IUnknown {
public:
    virtual int second() = 0;
protected:
    ~ISecond() = default;
};

constexpr IID kFirst = {0x11111111, 0x1111, 0x1111, {1, 1, 1, 1, 1, 1, 1, 1}};
constexpr IID kSecond = {0x22222222, 0x2222, 0x2222, {2, 2, 2, 2, 2, 2, 2, 2}};
constexpr IID kOther = {0x33333333, 0x3333, 0x3333, {3, 3, 3, 3, 3, 3, 3, 3}};

int gDestroyed = 0;

// Two interfaces at different places in the object, as in the adapter.
class CTwoFaces : public IFirst,
                  public ISecond,
                  public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    static const QXInterfaceMapEntry* interfaceMap() {
        static const QXInterfaceMapEntry map[] = {
            {&kFirst, qxOffsetOfClass<IFirst, CTwoFaces>()},
            {&kSecond, qxOffsetOfClass<ISecond, CTwoFaces>()},
            {nullptr, 0},
        };
        return map;
    }
    int first() override { return 1; }
    int second() override { return 2; }
    ~CTwoFaces() override { ++gDestroyed; }
};

class ComObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        gDestroyed = 0;
        object = CQXComObject<CTwoFaces>::createInstance();
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(object->AddRef(), 1u);
    }
    void TearDown() override {
        if (object) object->Release();
    }
    CQXComObject<CTwoFaces>* object = nullptr;
};

TEST_F(ComObjectTest, ReleaseToZeroDestroysOnce) {
    EXPECT_EQ(object->AddRef(), 2u);
    EXPECT_EQ(object->Release(), 1u);
    EXPECT_EQ(gDestroyed, 0);
    EXPECT_EQ(object->Release(), 0u);
    EXPECT_EQ(gDestroyed, 1);
    object = nullptr;
}

TEST_F(ComObjectTest, QueryInterfaceReachesEachInterfaceAndCounts) {
    void* out = nullptr;
    ASSERT_EQ(object->QueryInterface(kSecond, &out), S_OK);
    auto* second = static_cast<ISecond*>(out);
    EXPECT_EQ(static_cast<ISecond*>(object), second);
    EXPECT_EQ(second->second(), 2);
    // The reference taken by QueryInterface is the second one.
    EXPECT_EQ(second->Release(), 1u);

    ASSERT_EQ(object->QueryInterface(kFirst, &out), S_OK);
    EXPECT_EQ(static_cast<IFirst*>(out)->first(), 1);
    static_cast<IFirst*>(out)->Release();
}

TEST_F(ComObjectTest, IUnknownAnswersWithTheFirstEntry) {
    void* out = nullptr;
    ASSERT_EQ(static_cast<ISecond*>(object)->QueryInterface(IID_IUnknown, &out), S_OK);
    EXPECT_EQ(out, static_cast<void*>(static_cast<IFirst*>(object)));
    EXPECT_EQ(static_cast<IUnknown*>(out)->Release(), 1u);
}

TEST_F(ComObjectTest, UnknownIdentifierIsRefusedWithNullOut) {
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(object->QueryInterface(kOther, &out), E_NOINTERFACE);
    EXPECT_EQ(static_cast<uint32_t>(E_NOINTERFACE), 0x80004002u);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(object->QueryInterface(kOther, nullptr), E_POINTER);
    // No reference was left behind by the failed queries.
    EXPECT_EQ(object->AddRef(), 2u);
    object->Release();
}

}  // namespace
