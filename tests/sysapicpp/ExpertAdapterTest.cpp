// SPDX-License-Identifier: MIT
// The whole framework as a host sees it: an expert over the item cache and the
// item-cache expert, reached only through the adapter's function tables.

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <thread>

#include "RawSlots.h"
#include "platform/qxerr/Exception.h"
#include "sysapicpp/ExpertAdapter.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/cache/ItemCache.h"
#include "sysapicpp/cache/ItemCacheExpert.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"
#include "tests/sysapicpp/FakeSink.h"
#include "tests/sysapicpp/TestExpert.h"
#include "tests/sysapicpp/cache/FakeItems.h"

using namespace sysapicpp;
using namespace sysapicpp::fake;

namespace {

const qxerr::SourceLocation kSite{"test", 1, qxerr::kComponent, "code"};

// Everything left in an enumerator, which is then released.
template <class Enumerator, class Element, class Out>
std::vector<Out> drain(Enumerator* items, Out (*convert)(Element)) {
    std::vector<Out> out;
    Element element{};
    while (items->Next(1, &element, nullptr) == S_OK) out.push_back(convert(element));
    items->Release();
    return out;
}
uint32_t same(uint32_t tag) { return tag; }

QXComPtr<IcxSysPropertyBag4> bagWith(std::initializer_list<uint32_t> tags) {
    IcxSysPropertyBag4* bag = nullptr;
    EXPECT_EQ(CcxDynamicPropertyBag::createInstance(&bag), S_OK);
    for (uint32_t tag : tags) bag->SetUInt32(tag, tag);
    return QXComPtr<IcxSysPropertyBag4>(bag, false);
}

using Adapter = CQXComObject<ExpertAdapter<TestExpert>>;
IcxSysNotificationSink* const kNoSink = nullptr;

struct ExpertAdapterTest : ::testing::Test {
    ExpertAdapterTest() {
        adapter->AddRef();
        EXPECT_EQ(slot(7), S_OK);
        expert().factory.setNames({"board", "port \xC3\xA9"});
    }
    ~ExpertAdapterTest() override {
        EXPECT_EQ(slot(8), S_OK);
        EXPECT_EQ(adapter->Release(), 0u);
    }
    TestExpert& expert() { return *adapter->expert(); }
    template <class... A>
    HRESULT slot(std::size_t n, A... args) {
        return callSlot<HRESULT>(first, n, args...);
    }
    void* table(const IID& iid) {
        void* out = nullptr;
        EXPECT_EQ(adapter->QueryInterface(iid, &out), S_OK);
        static_cast<IUnknown*>(out)->Release();
        return out;
    }

    Adapter* adapter = Adapter::createInstance();
    void* first = static_cast<IcxSysExpert2*>(adapter);
    const wchar_t* const port = L"port \u00e9";
    const Text portUtf8 = "port \xC3\xA9";
};

TEST_F(ExpertAdapterTest, EverySlotOfTheFirstTableDoesItsOperation) {
    GUID id{};
    EXPECT_EQ(slot(3, &id), S_OK);
    EXPECT_EQ(id, kTestExpertId);
    wchar_t* text = nullptr;
    const std::pair<int, Text> identity[] = {{4, "Pr\xC3\xBC" "fer"}, {5, "1.0"}, {6, "test"}};
    for (const auto& [n, expected] : identity) {
        EXPECT_EQ(slot(n, &text), S_OK);
        EXPECT_EQ(take(text), expected);
    }

    FakeCollection collection;
    EXPECT_EQ(slot(9, static_cast<IcxSysPropertyBagCollection*>(&collection)), S_OK);
    EXPECT_EQ(collection.names, (Lines{"board", portUtf8}));
    IcxSysEnumStringList* names = nullptr;
    EXPECT_EQ(slot(10, &names), S_OK);
    EXPECT_EQ(drain(names, take), (Lines{"board", portUtf8}));
    IcxSysPropertyBag* bag = nullptr;
    EXPECT_EQ(slot(11, port, &bag), S_OK);
    bag->Release();
    const uint32_t tags[] = {1};
    EXPECT_EQ(slot(12, port, 1u, tags, 0, &bag), S_OK);
    bag->Release();
    EXPECT_EQ(slot(13), E_NOTIMPL);

    int32_t flag = 0;
    EXPECT_EQ(slot(14, L"board", L"left", 1, &flag, &text), S_OK);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(take(text), "was board");
    const auto hostBag = bagWith({1, 3});
    IcxSysEnumPropertyTag* accepted = nullptr;
    EXPECT_EQ(slot(15, port, hostBag.get(), &accepted, &text), S_OK);
    EXPECT_EQ(drain(accepted, same), (std::vector<uint32_t>{1, 3}));
    EXPECT_EQ(take(text), "checked");
    EXPECT_EQ(slot(15, port, bagWith({}).get(), &accepted, static_cast<wchar_t**>(nullptr)),
              S_FALSE);
    EXPECT_EQ(accepted, nullptr);
    EXPECT_EQ(slot(16, L"board", hostBag.get(), &flag), S_OK);
    EXPECT_EQ(flag, 1);

    EXPECT_EQ(slot(19, L"board", 4), S_OK);
    EXPECT_EQ(slot(20, L"board", 2, &text), S_SYSAPI_DIAGNOSTIC);  // mode 2 refused, 0 ran
    EXPECT_EQ(take(text), "tested");
    EXPECT_EQ(slot(21, L"board", &text), S_OK);
    EXPECT_EQ(take(text), "calibrated");
    EXPECT_EQ(slot(22, L"board", 5, &flag, &text), S_OK);
    EXPECT_EQ(take(text), "reset");
    EXPECT_EQ(slot(24, L"board", bagWith({2}).get(), &flag, &text), S_OK);
    EXPECT_EQ(flag, 0);
    EXPECT_EQ(take(text), "saved");
    EXPECT_EQ(slot(25), S_OK);

    EXPECT_EQ(expert().calls,
              (Lines{"getAllItemProperties", "enumerateItemNames",
                     "getPropertiesOfItem " + portUtf8, "getPropertiesOfItemByTags " + portUtf8, "unsupportedOperation",
                     "renameAlias board left 1", "validatePropertiesOfItem " + portUtf8,
                     "validatePropertiesOfItem " + portUtf8, "setPropertiesOfItem board",
                     "performDeviceReset board 4", "diagnosticSelfTest board 2",
                     "diagnosticSelfTest board 0", "diagnosticSelfCalibrate board",
                     "performDeviceReset board 5", "setPropertiesOfItem board"}));

    EXPECT_EQ(slot(8), S_OK);
    EXPECT_EQ(slot(3, &id), E_UNEXPECTED);  // no expert: refused, not a crash
}

TEST_F(ExpertAdapterTest, TheOtherTablesReachTheSameCode) {
    void* plugPlay = table(IID_IcxSysExpertPlugPlay);
    void* diagnostic = table(IID_IcxSysExpertDiagnostic);
    for (const IID* iid : {&IID_IUnknown, &IID_IcxSysExpertInfo, &IID_IcxSysExpert,
                           &IID_IcxSysExpert2}) {
        EXPECT_EQ(table(*iid), first);
    }
    EXPECT_EQ(table(IID_IcxSysExpertDiagnostic2), diagnostic);
    EXPECT_NE(plugPlay, first);
    EXPECT_NE(diagnostic, first);
    void* out = &out;
    EXPECT_EQ(adapter->QueryInterface(IID_IcxSysPropertyBag4, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);

    wchar_t* text = nullptr;
    int32_t flag = 0;
    EXPECT_EQ(callSlot<HRESULT>(diagnostic, 3, L"board", 1), S_OK);
    EXPECT_EQ(callSlot<HRESULT>(diagnostic, 4, L"board", 0, &text), S_OK);
    EXPECT_EQ(take(text), "tested");
    EXPECT_EQ(callSlot<HRESULT>(diagnostic, 5, L"board", &text), S_OK);
    EXPECT_EQ(take(text), "calibrated");
    EXPECT_EQ(callSlot<HRESULT>(diagnostic, 6, L"board", 2, &flag, &text), S_OK);
    EXPECT_EQ(take(text), "reset");
    EXPECT_EQ(expert().calls,
              (Lines{"performDeviceReset board 1", "diagnosticSelfTest board 0",
                     "diagnosticSelfCalibrate board", "performDeviceReset board 2"}));

    fake::FakeSink sink;
    EXPECT_EQ(callSlot<HRESULT>(plugPlay, 3, static_cast<IcxSysNotificationSink*>(&sink)), S_OK);
    EXPECT_EQ(sink.references, 1u);
    EXPECT_EQ(slot(23, kNoSink), S_OK);
    EXPECT_EQ(sink.references, 0u);
}

// Stale tags are read on the host's thread, or by a worker when the host allows it.
TEST_F(ExpertAdapterTest, UpdatesAndNotificationsFromTheWorkers) {
    expert().factory.tagState = kTagStateStale;
    fake::FakeSink sink;
    EXPECT_EQ(slot(23, static_cast<IcxSysNotificationSink*>(&sink)), S_OK);
    const uint32_t tags[] = {1, 2};
    IcxSysPropertyBag* bag = nullptr;
    EXPECT_EQ(slot(12, port, 1u, tags, 0, &bag), S_OK);  // a value changed: the host is told
    bag->Release();
    EXPECT_EQ(sink.waitFor(1), (Lines{"3 " + portUtf8}));
    fake::fakeOf(expert().item(portUtf8)).changesOnUpdate = false;
    EXPECT_EQ(slot(12, port, 1u, tags + 1, 0, &bag), S_OK);  // nothing changed: silence
    bag->Release();

    // The background update tells the host even so; this sink leaves when told.
    sink.setOnNotify([&] { slot(23, kNoSink); });
    EXPECT_EQ(slot(12, port, 2u, tags, 1, &bag), E_SYSAPI_REFRESH_PENDING);
    EXPECT_EQ(bag, nullptr);
    EXPECT_EQ(sink.waitFor(2), (Lines{"3 " + portUtf8, "3 " + portUtf8}));
    EXPECT_EQ(sink.senders(), (std::vector<IUnknown*>(2, static_cast<IUnknown*>(first))));

    // An update still queued when the expert goes runs, and tells nobody.
    std::atomic<bool> go{false};
    for (int i = 0; i < 2; ++i) {
        expert().queue().submit(makeFunctorTask([&] {
            while (!go) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }));
    }
    EXPECT_EQ(slot(12, port, 2u, tags, 1, &bag), E_SYSAPI_REFRESH_PENDING);
    const ItemRef item = expert().item(portUtf8);
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        go = true;
    });
    EXPECT_EQ(slot(8), S_OK);
    opener.join();
    EXPECT_EQ(fake::fakeOf(item).tagsUpdated(), (std::vector<uint32_t>{1, 2, 1, 2, 1, 2}));
    EXPECT_EQ(sink.waitFor(0).size(), 2u);
    EXPECT_EQ(sink.references, 0u);
}

TEST_F(ExpertAdapterTest, ByTagTellsWhetherTheBagHoldsTheRequestedTags) {
    struct Case {
        const wchar_t* name;
        std::vector<uint32_t> tags;
        HRESULT expected;
    };
    const Case cases[] = {
        {L"board", {1, 2}, S_OK},
        {L"board", {2, 7}, S_FALSE},
        {L"board", {7, 8}, E_SYSAPI_PROPERTY_NOT_FOUND},
        {L"board", {}, S_OK},
        {L"nowhere", {1}, E_SYSAPI_ITEM_NOT_EXIST},
    };
    const uint32_t none = 0;
    for (const Case& c : cases) {
        IcxSysPropertyBag* bag = nullptr;
        const auto count = static_cast<uint32_t>(c.tags.size());
        // Pending allowed: current tags must not make a background task.
        EXPECT_EQ(slot(12, c.name, count, c.tags.empty() ? &none : c.tags.data(), 1, &bag),
                  c.expected);
        EXPECT_EQ(bag != nullptr, succeeded(c.expected));
        if (bag) bag->Release();
    }
}

TEST_F(ExpertAdapterTest, EveryFailureBecomesAResultCode) {
    struct Case {
        std::function<void()> fault;
        HRESULT expected;
        const char* message;  // what the host's message out receives
    };
    const Case cases[] = {
        {[] { qxerr::raise(qxerr::qxapalerr_resourceNotFound, kSite); }, E_SYSAPI_ITEM_NOT_EXIST,
         "translated"},
        {[] { qxerr::raise(qxerr::qxapalerr_osFault, kSite); }, E_FAIL, "translated"},
        {[] { throw std::runtime_error("broken"); }, E_FAIL, "<null>"},
        {[] { throw std::bad_alloc(); }, E_OUTOFMEMORY, "<null>"},
        {[] { throw 0x12345; }, 0x12345, "<null>"},
        {[] { throw ValidationValueException("test", 4); }, E_SYSAPI_VALIDATION_VALUE, "<null>"},
        {[] { throw "neither"; }, E_FAIL, "<null>"},
    };
    for (const Case& c : cases) {
        expert().fault = c.fault;
        IcxSysPropertyBag* bag = nullptr;
        EXPECT_EQ(slot(11, L"board", &bag), c.expected);
        EXPECT_EQ(bag, nullptr);
        wchar_t* message = nullptr;
        EXPECT_EQ(slot(21, L"board", &message), c.expected);
        EXPECT_EQ(take(message), c.message);
    }

    // A failed Initialize keeps the expert there was.
    expert().fault = nullptr;
    gRefuseConstruction = true;
    EXPECT_EQ(slot(7), E_FAIL);
    gRefuseConstruction = false;
    wchar_t* message = nullptr;
    EXPECT_EQ(slot(21, L"board", &message), S_OK);
    EXPECT_EQ(take(message), "calibrated");
}

TEST_F(ExpertAdapterTest, NullPointersAreRefusedBeforeTheExpertIsAsked) {
    const wchar_t* const noName = nullptr;
    wchar_t** const noText = nullptr;
    int32_t* const noFlag = nullptr;
    IcxSysPropertyBag* const noBag = nullptr;
    IcxSysPropertyBag** const noBagOut = nullptr;
    IcxSysEnumPropertyTag** const noTags = nullptr;
    wchar_t* text = nullptr;
    int32_t flag = 0;
    IcxSysPropertyBag* bag = nullptr;
    IcxSysEnumPropertyTag* tags = nullptr;
    const uint32_t tag = 1;
    IcxSysPropertyBag* const hostBag = bagWith({1}).detach();
    const std::function<HRESULT()> calls[] = {
        [&] { return slot(3, static_cast<GUID*>(nullptr)); },
        [&] { return slot(4, noText); },
        [&] { return slot(5, noText); },
        [&] { return slot(6, noText); },
        [&] { return slot(9, static_cast<IcxSysPropertyBagCollection*>(nullptr)); },
        [&] { return slot(10, static_cast<IcxSysEnumStringList**>(nullptr)); },
        [&] { return slot(11, noName, &bag); },
        [&] { return slot(11, port, noBagOut); },
        [&] { return slot(12, noName, 1u, &tag, 0, &bag); },
        [&] { return slot(12, port, 1u, static_cast<const uint32_t*>(nullptr), 0, &bag); },
        [&] { return slot(12, port, 1u, &tag, 0, noBagOut); },
        [&] { return slot(14, noName, port, 0, &flag, &text); },
        [&] { return slot(14, port, noName, 0, &flag, &text); },
        [&] { return slot(14, port, port, 0, noFlag, &text); },
        [&] { return slot(14, port, port, 0, &flag, noText); },
        [&] { return slot(15, noName, hostBag, &tags, noText); },
        [&] { return slot(15, port, noBag, &tags, noText); },
        [&] { return slot(15, port, hostBag, noTags, noText); },
        [&] { return slot(16, noName, hostBag, &flag); },
        [&] { return slot(16, port, hostBag, noFlag); },
        [&] { return slot(19, noName, 0); },
        [&] { return slot(20, noName, 0, &text); },
        [&] { return slot(20, port, 0, noText); },
        [&] { return slot(21, noName, &text); },
        [&] { return slot(21, port, noText); },
        [&] { return slot(22, noName, 0, &flag, &text); },
        [&] { return slot(22, port, 0, noFlag, &text); },
        [&] { return slot(22, port, 0, &flag, noText); },
        [&] { return slot(24, noName, hostBag, &flag, noText); },
        [&] { return slot(24, port, hostBag, noFlag, noText); },
    };
    for (std::size_t i = 0; i < std::size(calls); ++i) EXPECT_EQ(calls[i](), E_POINTER) << i;
    EXPECT_TRUE(expert().calls.empty());
    hostBag->Release();

    // A bag to set from is required, but its absence is the request's fault.
    EXPECT_EQ(slot(24, port, noBag, &flag, noText), E_UNEXPECTED);
    EXPECT_EQ(slot(16, port, noBag, &flag), E_UNEXPECTED);
}

}  // namespace
