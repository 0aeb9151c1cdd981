// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/qxerr/Status.h"
#include "sysapicpp/CQXComEnumOnSTL.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyBagAccessor.h"
#include "sysapicpp/propbag/TagIterator.h"

using namespace sysapicpp;

namespace {

// As the items combine them.
class BagAccessor : public virtual SystemAPIPropertyBagAccessor,
                    public virtual SerialPropertyBagAccessor {
public:
    explicit BagAccessor(IcxSysPropertyBag4* bag) : PropertyBagHandle(bag) {}
};

QXComPtr<IcxSysPropertyBag4> newBag() {
    IcxSysPropertyBag4* raw = nullptr;
    EXPECT_EQ(CcxDynamicPropertyBag::createInstance(&raw), S_OK);
    return QXComPtr<IcxSysPropertyBag4>(raw, false);
}

template <class Exception, class F>
void expectRaised(F&& call, HRESULT code, const char* file, int line) {
    try {
        call();
        ADD_FAILURE() << "nothing was raised";
    } catch (const Exception& e) {
        EXPECT_EQ(e.getCode(), code);
        EXPECT_EQ(qxerr::reportGetString(e.report(), "file"), file);
        EXPECT_EQ(qxerr::reportGetInt(e.report(), "line"), line);
        EXPECT_EQ(qxerr::reportGetString(e.report(), "component"), "qx561xsae");
    }
}

TEST(PropertyBagHandleTest, TypedValuesRoundTrip) {
    auto bag = newBag();
    BagAccessor accessor(bag.get());
    const GUID guid = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
    accessor.setBool(1, true);
    accessor.setInt32(2, -3);
    accessor.setUInt32(3, 4000000000u);
    accessor.setDouble(4, -0.5);
    accessor.setGuid(5, guid);
    accessor.setString(6, "COM7 p\xC3\xB6rt \xE2\x82\xAC");
    accessor.setTimestamp(7, {1, 2});
    accessor.setRxFifoDepth(64);
    accessor.setIsRs232(false);

    EXPECT_TRUE(accessor.getBool(1));
    EXPECT_EQ(accessor.getInt32(2), -3);
    EXPECT_EQ(accessor.getUInt32(3), 4000000000u);
    EXPECT_EQ(accessor.getDouble(4), -0.5);
    EXPECT_TRUE(accessor.getGuid(5) == guid);
    EXPECT_EQ(accessor.getString(6), "COM7 p\xC3\xB6rt \xE2\x82\xAC");
    EXPECT_EQ(accessor.getWideString(6), L"COM7 p\u00F6rt \u20AC");
    EXPECT_EQ(accessor.getTimestamp(7).seconds, 2);
    EXPECT_EQ(accessor.getUInt32(0x0C005000), 64u);
    EXPECT_FALSE(accessor.getIsRs232());
    EXPECT_EQ(accessor.getPropertyType(6), 6);
    EXPECT_TRUE(accessor.hasProperty(2));
    EXPECT_FALSE(accessor.hasProperty(99));
}

TEST(PropertyBagHandleTest, FailingCallsRaiseWithTheBagsCode) {
    auto bag = newBag();
    BagAccessor accessor(bag.get());
    accessor.setInt32(1, 5);
    const char* module = "sysapicpp/propbag/PropertyBagHandle";
    expectRaised<HResultException>([&] { accessor.getUInt32(1); },
                                   E_SYSAPI_PROPERTY_TYPE_MISMATCH, module, 298);
    expectRaised<HResultException>([&] { accessor.getString(2); },
                                   E_SYSAPI_PROPERTY_NOT_FOUND, module, 298);
    expectRaised<HResultException>([&] { accessor.setBool(1, true); },
                                   E_SYSAPI_PROPERTY_TYPE_MISMATCH, module, 285);
    expectRaised<HResultException>([&] { accessor.markModified(2); },
                                   E_SYSAPI_PROPERTY_NOT_FOUND, module, 285);
    expectRaised<HResultException>([&] { accessor.unlock(); }, E_FAIL, module, 285);
}

TEST(PropertyBagHandleTest, HandleWithoutABagRaisesUnexpected) {
    const char* module = "sysapicpp/propbag/PropertyBagHandle";
    BagAccessor empty(nullptr);
    EXPECT_FALSE(empty.hasBag());
    expectRaised<UnexpectedException>([&] { empty.getInt32(1); }, E_UNEXPECTED, module, 39);
    expectRaised<UnexpectedException>([&] { empty.setInt32(1, 1); }, E_UNEXPECTED, module, 39);
    expectRaised<UnexpectedException>([&] { empty.tags(); }, E_UNEXPECTED, module, 39);

    // An object that is not a bag.
    IcxSysEnumPropertyTag* tags = nullptr;
    ASSERT_EQ(CcxSysEnumPropertyTagsSTL<>::create({1}, &tags), S_OK);
    QXComPtr<IcxSysEnumPropertyTag> owned(tags, false);
    expectRaised<UnexpectedException>([&] { PropertyBagHandle::fromObject(tags); }, E_UNEXPECTED,
                                      module, 39);
}

TEST(PropertyBagHandleTest, HandlesCountTheirReference) {
    auto bag = newBag();
    {
        BagAccessor accessor(bag.get());
        PropertyBagHandle copy = accessor;
        EXPECT_EQ(bag->AddRef(), 4u);
        bag->Release();
    }
    EXPECT_EQ(bag->AddRef(), 2u);
    bag->Release();
}

TEST(PropertyBagHandleTest, TagSetsCloneAndModifiedBookkeeping) {
    auto bag = newBag();
    BagAccessor accessor(bag.get());
    EXPECT_TRUE(accessor.tags().empty());
    accessor.setUInt32(3, 1);
    accessor.setUInt32(1, 1);
    EXPECT_EQ(accessor.tags(), (std::set<uint32_t>{1, 3}));
    EXPECT_TRUE(accessor.clearModified());
    EXPECT_FALSE(accessor.clearModified());
    accessor.markModified(3);
    EXPECT_EQ(accessor.modifiedTags(), std::set<uint32_t>{3});
    bool anyLeft = true;
    EXPECT_TRUE(accessor.clearModifiedTag(3, &anyLeft));
    EXPECT_FALSE(anyLeft);
    EXPECT_FALSE(accessor.clearModifiedTag(3));

    accessor.markModified(1);
    BagAccessor clone(accessor.clone().get());
    EXPECT_EQ(clone.tags(), (std::set<uint32_t>{1, 3}));
    EXPECT_TRUE(clone.modifiedTags().empty());
    EXPECT_NE(clone.get(), accessor.get());
}

TEST(PropertyBagHandleTest, ScopedLockReleasesAtTheEnd) {
    auto bag = newBag();
    BagAccessor accessor(bag.get());
    {
        SystemAPIPropertyBagAccessor::ScopedLock lock(accessor);
        accessor.setInt32(1, 1);
    }
    EXPECT_EQ(bag->Unlock(), E_FAIL);
}

// Hands out one tag, then fails.
class CFailingTags : public IcxSysEnumPropertyTag,
                     public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    static const QXInterfaceMapEntry* interfaceMap() {
        static const QXInterfaceMapEntry map[] = {
            {&IID_IcxSysEnumPropertyTag, qxOffsetOfClass<IcxSysEnumPropertyTag, CFailingTags>()},
            {nullptr, 0},
        };
        return map;
    }
    HRESULT Next(uint32_t, uint32_t* array, uint32_t* fetched) override {
        if (calls_++ > 0) return E_OUTOFMEMORY;
        array[0] = 77;
        if (fetched) *fetched = 1;
        return S_OK;
    }
    HRESULT Skip(uint32_t) override { return E_NOTIMPL; }
    HRESULT Reset() override { return E_NOTIMPL; }
    HRESULT Clone(IcxSysEnumPropertyTag**) override { return E_NOTIMPL; }

private:
    int calls_ = 0;
};

TEST(TagIteratorTest, WalksAnEnumeratorAndRaisesOnFailure) {
    IcxSysEnumPropertyTag* raw = nullptr;
    ASSERT_EQ(CcxSysEnumPropertyTagsSTL<>::create({4, 2, 9}, &raw), S_OK);
    QXComPtr<IcxSysEnumPropertyTag> tags(raw, false);
    std::set<uint32_t> seen;
    for (uint32_t tag : TagRange(tags.get())) seen.insert(tag);
    EXPECT_EQ(seen, (std::set<uint32_t>{2, 4, 9}));
    EXPECT_TRUE(TagIterator(nullptr) == TagIterator());

    auto* failing = CQXComObject<CFailingTags>::createInstance();
    QXComPtr<IcxSysEnumPropertyTag> failingTags(failing);
    TagIterator it(failingTags.get());
    ASSERT_TRUE(it != TagIterator());
    EXPECT_EQ(*it, 77u);
    expectRaised<HResultException>([&] { ++it; }, E_OUTOFMEMORY,
                                   "sysapicpp/propbag/TagIterator", 35);
    EXPECT_TRUE(it == TagIterator());
}

}  // namespace
