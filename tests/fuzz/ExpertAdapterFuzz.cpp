// SPDX-License-Identifier: MIT
// The expert adapter as a host drives it: a byte-coded run of calls through the raw
// tables (names good, odd and null, null outs, objects that are no bag, sinks set and
// cleared, Initialize and Uninitialize at any time) on an expert over the real item cache
// and a fake factory that may fail. Every result must be one the slot may give, a null
// required pointer always gives E_POINTER, no expert always E_UNEXPECTED; what is handed
// out matches the result, and every reference comes back.

#include <cstdint>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/qxerr/Exception.h"
#include "sysapicpp/ExpertAdapter.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"
#include "tests/fuzz/Fuzz.h"
#include "tests/sysapicpp/FakeSink.h"
#include "tests/sysapicpp/RawSlots.h"
#include "tests/sysapicpp/TestExpert.h"

namespace {

using namespace sysapicpp;
using namespace sysapicpp::fake;
using qxfuzz::Input;
using Adapter = CQXComObject<ExpertAdapter<TestExpert>>;
using Codes = std::set<HRESULT>;

// Answers IUnknown only.
struct NotABag final : IUnknown {
    HRESULT QueryInterface(const IID& iid, void** out) override {
        *out = iid == IID_IUnknown ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
};

// Claims every interface and hands out none.
struct EmptyAnswer final : IUnknown {
    HRESULT QueryInterface(const IID&, void** out) override {
        *out = nullptr;
        return S_OK;
    }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
};

const qxerr::SourceLocation kSite{"fuzz", 1, qxerr::kComponent, "code"};
const int32_t kStatusCodes[] = {-52006, -52000, -52027, -52009, -52010,
                                -52020, -52002, -52008, -52005};

// The host's view of the platform codes.
HRESULT mapped(int32_t status) {
    switch (status) {
    case -52027: return hr(0x80040382);
    case -52020:
    case -52010:
    case -52009: return hr(0x80040383);
    case -52006: return E_SYSAPI_ITEM_NOT_EXIST;
    case -52002: return E_NOTIMPL;
    case -52000: return E_OUTOFMEMORY;
    default: return E_FAIL;
    }
}

uint32_t countOf(IUnknown* object) {
    const uint32_t count = object->AddRef();
    object->Release();
    return count - 1;
}

// Bytes as characters; the highest stand for characters beyond the BMP and beyond 31 bits.
std::wstring wideFrom(const std::string& bytes) {
    std::wstring text;
    for (const char c : bytes) {
        const uint32_t b = uint8_t(c);
        text += wchar_t(b < 0xE0 ? b : b < 0xF0 ? 0x10000 + b : 0x80000000u + b);
    }
    return text;
}

class Run {
public:
    Run() {
        FUZZ_CHECK(adapter_->AddRef() == 1);
        void* out = nullptr;
        FUZZ_CHECK(adapter_->QueryInterface(IID_IcxSysExpertPlugPlay, &out) == S_OK);
        plugPlay_ = out;
        FUZZ_CHECK(adapter_->QueryInterface(IID_IcxSysExpertDiagnostic2, &out) == S_OK);
        diagnostic_ = out;
        adapter_->Release();
        adapter_->Release();
    }
    ~Run() {
        gRefuseConstruction = false;
        FUZZ_CHECK(slot(8) == S_OK);
        FUZZ_CHECK(sink_.references == 0);
        FUZZ_CHECK(countOf(hostBag_) == 1);
        hostBag_->Release();
        FUZZ_CHECK(adapter_->Release() == 0);
    }

    void step(Input& in) {
        FUZZ_CHECK(expert_ == (expert() != nullptr));
        const uint8_t op = in.byte();
        switch (op % 24) {
        case 0: initialize(in); break;
        case 1: uninitialize(); break;
        case 2: names(in); break;
        case 3: setFault(in); break;
        case 4: identity(in, 3 + in.byte() % 4); break;
        case 5: all(in); break;
        case 6: enumNames(in); break;
        case 7: properties(in); break;
        case 8: byTag(in); break;
        case 9: expect(slot(13), {E_NOTIMPL}, false); break;
        case 10: rename(in); break;
        case 11: validate(in); break;
        case 12: setProperties(in); break;
        case 13: reset(in); break;
        case 14: selfTest(in); break;
        case 15: calibrate(in); break;
        case 16: sink(in); break;
        case 17: FUZZ_CHECK(slot(25) == S_OK); break;
        case 18: staleness(in.flag()); break;
        case 19: hostBag_->SetUInt32(1 + in.byte() % 3, 0); break;
        case 20: hostBag_->RemoveAll(); break;
        default: queryInterface(in.byte()); break;
        }
    }

private:
    TestExpert* expert() { return adapter_->expert(); }

    template <class... A>
    HRESULT slot(std::size_t n, A... args) {
        return callSlot<HRESULT>(first_, n, args...);
    }

    // Checks a result against what the slot may give; nullPointer: a required pointer was
    // null.
    void expect(HRESULT result, Codes allowed, bool nullPointer) {
        if (nullPointer) {
            FUZZ_CHECK(result == E_POINTER);
            return;
        }
        if (!expert_) {
            FUZZ_CHECK(result == E_UNEXPECTED);
            return;
        }
        if (fault_) allowed.insert(faultCode_);
        FUZZ_CHECK(allowed.count(result) != 0);
    }

    // A name the host might send: null, known, unknown, odd or empty. Two may be in use.
    std::wstring nameText_[2];
    const wchar_t* name(Input& in, int which = 0) {
        switch (in.byte() % 5) {
        case 0: return nullptr;
        case 1: return L"board";
        case 2: return L"port \u00e9";
        case 3: nameText_[which] = wideFrom(in.text()); return nameText_[which].c_str();
        default: return L"";
        }
    }

    // Null, the host's bag, or no bag: an object that refuses the interface, one that answers
    // with nothing, the host's sink.
    IcxSysPropertyBag* bag(Input& in, bool& isBag) {
        isBag = false;
        switch (in.byte() % 5) {
        case 0: return nullptr;
        case 1: isBag = true; return hostBag_;
        case 2: return reinterpret_cast<IcxSysPropertyBag*>(static_cast<IUnknown*>(&notABag_));
        case 3: return reinterpret_cast<IcxSysPropertyBag*>(static_cast<IUnknown*>(&emptyAnswer_));
        default: return reinterpret_cast<IcxSysPropertyBag*>(static_cast<IUnknown*>(&sink_));
        }
    }

    // A returned host string: freed; true when it was there.
    static bool take(wchar_t* text) {
        qx::dsc::HostStringHolder held(text);
        if (held) FUZZ_CHECK(held.get()[held.view().size()] == L'\0');
        return static_cast<bool>(held);
    }

    // A message out: there on success, never when the expert was not asked; a failure
    // carries one when the expert translated it.
    void message(HRESULT result, wchar_t* text) {
        const bool got = take(text);
        if (succeeded(result)) FUZZ_CHECK(got);
        if (result == E_POINTER || !expert_) FUZZ_CHECK(!got);
    }

    void uninitialize() {
        FUZZ_CHECK(slot(8) == S_OK);
        expert_ = false;
        FUZZ_CHECK(sink_.references == 0);
    }

    void staleness(bool stale) {
        if (expert()) expert()->factory.tagState = stale ? kTagStateStale : kTagStateCurrent;
    }

    void initialize(Input& in) {
        gRefuseConstruction = in.flag();
        const HRESULT result = slot(7);
        FUZZ_CHECK(result == (gRefuseConstruction ? E_FAIL : S_OK));
        if (result == S_OK) {
            expert_ = true;
            fault_ = false;
        }
        gRefuseConstruction = false;
    }

    void names(Input& in) {
        if (!expert()) return;
        Lines list;
        for (int n = in.byte() % 4; n > 0; --n) {
            switch (in.byte() % 3) {
            case 0: list.push_back("board"); break;
            case 1: list.push_back("port \xC3\xA9"); break;
            default: list.push_back(in.text()); break;  // perhaps not UTF-8
            }
        }
        expert()->factory.setNames(list);
    }

    void setFault(Input& in) {
        if (!expert()) return;
        fault_ = true;
        switch (in.byte() % 7) {
        case 0: {
            const int32_t code = kStatusCodes[in.byte() % std::size(kStatusCodes)];
            faultCode_ = mapped(code);
            expert()->fault = [code] { qxerr::raise(code, kSite); };
            break;
        }
        case 1:
            faultCode_ = E_FAIL;
            expert()->fault = [] { throw std::runtime_error("broken"); };
            break;
        case 2:
            faultCode_ = E_OUTOFMEMORY;
            expert()->fault = [] { throw std::bad_alloc(); };
            break;
        case 3: {
            const int value = int(in.value<uint32_t>() | 0x80000000u);
            faultCode_ = value;
            expert()->fault = [value] { throw value; };
            break;
        }
        case 4: {
            const HRESULT code = hr(in.value<uint32_t>() | 0x80000000u);
            faultCode_ = code;
            expert()->fault = [code] { throw HResultException(code, "fuzz", 2); };
            break;
        }
        case 5:
            faultCode_ = E_FAIL;
            expert()->fault = [] { throw "neither"; };
            break;
        default:
            fault_ = false;
            expert()->fault = nullptr;
            break;
        }
    }

    void identity(Input& in, std::size_t n) {
        if (n == 3) {
            GUID id{};
            const bool null = in.flag();
            const HRESULT result = slot(n, null ? nullptr : &id);
            expect(result, {S_OK}, null);
            FUZZ_CHECK(result != S_OK || id == kTestExpertId);
            return;
        }
        wchar_t* text = nullptr;
        const bool null = in.flag();
        const HRESULT result = slot(n, null ? nullptr : &text);
        expect(result, {S_OK}, null);
        FUZZ_CHECK(take(text) == (result == S_OK));
    }

    void all(Input& in) {
        FakeCollection collection;
        const bool null = in.flag();
        const HRESULT result =
            slot(9, null ? nullptr : static_cast<IcxSysPropertyBagCollection*>(&collection));
        expect(result, {S_OK, S_FALSE, E_FAIL}, null);
        FUZZ_CHECK(result != S_FALSE || collection.names.empty());
    }

    void enumNames(Input& in) {
        IcxSysEnumStringList* names = nullptr;
        const bool null = in.flag();
        const HRESULT result = slot(10, null ? nullptr : &names);
        expect(result, {S_OK, S_FALSE, E_FAIL}, null);
        FUZZ_CHECK((names != nullptr) == (result == S_OK));
        if (!names) return;
        wchar_t* text = nullptr;
        uint32_t count = 0;
        while (names->Next(1, &text, nullptr) == S_OK) count += take(text);
        FUZZ_CHECK(count > 0);
        FUZZ_CHECK(names->Release() == 0);
    }

    // A bag handed out: there exactly on success, and ours alone.
    static void received(HRESULT result, IcxSysPropertyBag* out) {
        FUZZ_CHECK((out != nullptr) == succeeded(result));
        if (out) FUZZ_CHECK(out->Release() == 0);
    }

    void properties(Input& in) {
        const wchar_t* item = name(in);
        IcxSysPropertyBag* out = nullptr;
        const bool nullOut = in.flag();
        const HRESULT result = slot(11, item, nullOut ? nullptr : &out);
        expect(result, {S_OK, E_SYSAPI_ITEM_NOT_EXIST, E_FAIL}, !item || nullOut);
        received(result, out);
    }

    void byTag(Input& in) {
        const wchar_t* item = name(in);
        std::vector<uint32_t> tags(in.byte() % 4 + 1);
        for (uint32_t& tag : tags) tag = in.byte() % 4;
        const uint32_t count = uint32_t(tags.size()) - 1;  // the array is never empty
        const bool nullTags = in.flag();
        const bool nullOut = in.flag();
        const int32_t pending = in.flag();
        IcxSysPropertyBag* out = nullptr;
        const HRESULT result = slot(12, item, count, nullTags ? nullptr : tags.data(), pending,
                                    nullOut ? nullptr : &out);
        expect(result,
               {S_OK, S_FALSE, E_SYSAPI_PROPERTY_NOT_FOUND, E_SYSAPI_REFRESH_PENDING,
                E_SYSAPI_ITEM_NOT_EXIST, E_FAIL},
               !item || nullTags || nullOut);
        if (result == S_OK && count > 0 && out) {
            for (uint32_t i = 0; i < count; ++i) FUZZ_CHECK(out->HasProperty(tags[i]) == S_OK);
        }
        received(result, out);
    }

    void rename(Input& in) {
        const wchar_t* item = name(in);
        const wchar_t* alias = name(in, 1);
        int32_t has = 7;
        wchar_t* text = nullptr;
        const bool nullHas = in.flag();
        const bool nullText = in.flag();
        const HRESULT result = slot(14, item, alias, int32_t(in.byte()), nullHas ? nullptr : &has,
                                    nullText ? nullptr : &text);
        expect(result, {S_OK}, !item || !alias || nullHas || nullText);
        if (result == S_OK) FUZZ_CHECK(text && has == (*text ? 1 : 0));
        message(result, text);
    }

    void validate(Input& in) {
        const wchar_t* item = name(in);
        bool isBag = false;
        IcxSysPropertyBag* given = bag(in, isBag);
        IcxSysEnumPropertyTag* accepted = nullptr;
        wchar_t* text = nullptr;
        const bool nullAccepted = in.flag();
        const bool withText = in.flag();
        bool known = false;
        for (uint32_t tag : {1u, 2u, 3u}) known = known || hostBag_->HasProperty(tag) == S_OK;
        const uint32_t before = countOf(hostBag_);
        const HRESULT result =
            slot(15, item, given, nullAccepted ? nullptr : &accepted, withText ? &text : nullptr);
        FUZZ_CHECK(countOf(hostBag_) == before);
        expect(result, {S_OK, S_FALSE, E_UNEXPECTED}, !item || !given || nullAccepted);
        FUZZ_CHECK(isBag || failed(result));
        FUZZ_CHECK(failed(result) || (result == S_OK) == known);
        FUZZ_CHECK((accepted != nullptr) == (result == S_OK));
        if (accepted) FUZZ_CHECK(accepted->Release() == 0);
        if (withText) message(result, text);
    }

    void setProperties(Input& in) {
        const wchar_t* item = name(in);
        bool isBag = false;
        IcxSysPropertyBag* given = bag(in, isBag);
        int32_t flag = 7;
        const bool nullFlag = in.flag();
        const uint32_t before = countOf(hostBag_);
        const bool second = in.flag();
        const bool asked = second && in.flag();
        wchar_t* text = nullptr;
        const HRESULT result =
            second ? slot(24, item, given, nullFlag ? nullptr : &flag, asked ? &text : nullptr)
                   : slot(16, item, given, nullFlag ? nullptr : &flag);
        if (asked) message(result, text);
        FUZZ_CHECK(countOf(hostBag_) == before);
        expect(result, {S_OK, E_UNEXPECTED}, !item || nullFlag);
        FUZZ_CHECK(isBag || failed(result));
        if (result == S_OK) FUZZ_CHECK(flag == (hostBag_->HasProperty(1) == S_OK ? 1 : 0));
    }

    // Through the first table or the diagnostic one.
    template <class... A>
    HRESULT diagnostic(Input& in, std::size_t first, A... args) {
        return in.flag() ? callSlot<HRESULT>(diagnostic_, first - 16, args...)
                         : slot(first, args...);
    }

    void reset(Input& in) {
        const wchar_t* item = name(in);
        const int32_t mode = in.value<int32_t>();
        if (in.flag()) {
            expect(diagnostic(in, 19, item, mode), {S_OK}, !item);
            return;
        }
        int32_t flag = 7;
        wchar_t* text = nullptr;
        const bool nullFlag = in.flag();
        const bool nullText = in.flag();
        const HRESULT result =
            diagnostic(in, 22, item, mode, nullFlag ? nullptr : &flag, nullText ? nullptr : &text);
        expect(result, {S_OK}, !item || nullFlag || nullText);
        message(result, text);
        FUZZ_CHECK(result != S_OK || flag == 1);
    }

    void selfTest(Input& in) {
        const wchar_t* item = name(in);
        const int32_t mode = in.value<int32_t>();
        wchar_t* text = nullptr;
        const bool nullText = in.flag();
        const HRESULT result = diagnostic(in, 20, item, mode, nullText ? nullptr : &text);
        expect(result, {S_OK, S_SYSAPI_DIAGNOSTIC}, !item || nullText);
        if (succeeded(result)) FUZZ_CHECK((result == S_SYSAPI_DIAGNOSTIC) == (mode != 0));
        message(result, text);
    }

    void calibrate(Input& in) {
        const wchar_t* item = name(in);
        wchar_t* text = nullptr;
        const bool nullText = in.flag();
        const HRESULT result = diagnostic(in, 21, item, nullText ? nullptr : &text);
        expect(result, {S_OK}, !item || nullText);
        message(result, text);
    }

    void sink(Input& in) {
        IcxSysNotificationSink* given = in.flag() ? &sink_ : nullptr;
        const HRESULT result = in.flag() ? callSlot<HRESULT>(plugPlay_, 3, given) : slot(23, given);
        FUZZ_CHECK(result == S_OK);
        if (!given) FUZZ_CHECK(sink_.references == 0);
    }

    void queryInterface(uint8_t choice) {
        static const IID* const kAnswered[] = {&IID_IUnknown,
                                               &IID_IcxSysExpertInfo,
                                               &IID_IcxSysExpert,
                                               &IID_IcxSysExpert2,
                                               &IID_IcxSysExpertPlugPlay,
                                               &IID_IcxSysExpertDiagnostic,
                                               &IID_IcxSysExpertDiagnostic2};
        void* const expected[] = {first_,    first_,      first_,     first_,
                                  plugPlay_, diagnostic_, diagnostic_};
        void* out = &out;
        const std::size_t i = choice % (std::size(kAnswered) + 1);
        if (i == std::size(kAnswered)) {
            FUZZ_CHECK(adapter_->QueryInterface(IID_IcxSysPropertyBag4, &out) == E_NOINTERFACE &&
                       !out);
            return;
        }
        FUZZ_CHECK(adapter_->QueryInterface(*kAnswered[i], &out) == S_OK && out == expected[i]);
        FUZZ_CHECK(static_cast<IUnknown*>(out)->Release() == 1);
    }

    Adapter* const adapter_ = Adapter::createInstance();
    void* const first_ = static_cast<IcxSysExpert2*>(adapter_);
    void* plugPlay_ = nullptr;
    void* diagnostic_ = nullptr;
    IcxSysPropertyBag4* hostBag_ = PropertyBagHandle::createEmpty().detach();
    NotABag notABag_;
    EmptyAnswer emptyAnswer_;
    FakeSink sink_;
    bool expert_ = false;
    bool fault_ = false;
    HRESULT faultCode_ = S_OK;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Input in(data, size);
    Run run;
    while (!in.empty()) run.step(in);
    return 0;
}
