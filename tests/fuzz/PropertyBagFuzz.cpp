// SPDX-License-Identifier: MIT
// The property bag through its interface table: a byte-coded run of operations on two
// bags (the second made by Clone), checked step by step against a plain map of what each
// must hold, its modified set and its lock count.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/qx/dsc/AbsTime.h"
#include "platform/qx/dsc/Exception.h"
#include "platform/qx/dsc/HostString.h"
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"
#include "tests/fuzz/Fuzz.h"

namespace {

using namespace sysapicpp;
using qxfuzz::Input;
using Bag = IcxSysPropertyBag4;

struct Value {
    int32_t type;
    std::string raw;    // the bytes of a fixed-size value
    std::wstring text;  // a string value
};

struct Model {
    std::map<uint32_t, Value> values;
    std::set<uint32_t> modified;
    int locks = 0;
};

template <class T>
std::string rawOf(const T& value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

uint32_t tagFrom(Input& in) {
    const uint8_t b = in.byte();
    return b < 0xF0 ? b % 8 : in.value<uint32_t>();  // mostly a few tags, so they collide
}

std::wstring wideFrom(Input& in) {
    std::wstring text;
    for (const char c : in.text())
        text += wchar_t(uint8_t(c) < 0xF0 ? uint8_t(c) : 0x10000 + uint8_t(c));
    return text;
}

std::vector<uint32_t> tagsOf(const Model& model) {
    std::vector<uint32_t> tags;
    for (const auto& entry : model.values) tags.push_back(entry.first);
    return tags;
}

class Run {
public:
    Run() { FUZZ_CHECK(CcxDynamicPropertyBag::createInstance(&bags_[0]) == S_OK); }
    ~Run() {
        for (int i = 0; i < 2; ++i) {
            if (!bags_[i]) continue;
            checkWhole(i);
            for (; models_[i].locks > 0; --models_[i].locks) FUZZ_CHECK(bags_[i]->Unlock() == S_OK);
            FUZZ_CHECK(bags_[i]->Unlock() == E_FAIL);
            FUZZ_CHECK(bags_[i]->Release() == 0);
        }
    }

    void step(Input& in) {
        Bag* bag = bags_[current_];
        Model& model = models_[current_];
        const uint32_t tag = tagFrom(in);
        switch (in.byte() % 22) {
        case 0: {
            const int32_t flag = in.value<int32_t>();
            set(bag->SetBool(tag, flag), model, tag, {1, rawOf(uint8_t(flag != 0)), {}});
            break;
        }
        case 1: {
            const int32_t v = in.value<int32_t>();
            set(bag->SetInt32(tag, v), model, tag, {2, rawOf(v), {}});
            break;
        }
        case 2: {
            const uint32_t v = in.value<uint32_t>();
            set(bag->SetUInt32(tag, v), model, tag, {3, rawOf(v), {}});
            break;
        }
        case 3: {
            const double v = in.value<double>();
            set(bag->SetDouble(tag, v), model, tag, {4, rawOf(v), {}});
            break;
        }
        case 4: {
            const GUID v = in.value<GUID>();
            if (in.flag()) {
                FUZZ_CHECK(bag->SetGuid(tag, nullptr) == E_POINTER);
                break;
            }
            set(bag->SetGuid(tag, &v), model, tag, {5, rawOf(v), {}});
            break;
        }
        case 5: {
            const bool null = in.flag();
            const std::wstring text = null ? std::wstring() : wideFrom(in);
            set(bag->SetString(tag, null ? nullptr : text.c_str()), model, tag,
                {6, {}, text.c_str()});
            break;
        }
        case 6: {
            const cxSysAttrTimestampUTC v = in.value<cxSysAttrTimestampUTC>();
            if (in.flag()) {
                FUZZ_CHECK(bag->SetTimestamp(tag, nullptr) == E_POINTER);
                break;
            }
            set(bag->SetTimestamp(tag, &v), model, tag, {7, rawOf(v), {}});
            break;
        }
        case 7: FUZZ_CHECK(bag->SetTimestampFields(tag, 2020, 1, 1, 0, 0, 0) == E_NOTIMPL); break;
        case 8: checkValue(bag, model, tag, int32_t(in.byte() % 7 + 1)); break;
        case 9: checkFields(bag, model, tag); break;
        case 10: {
            int32_t type = -1;
            FUZZ_CHECK(bag->GetPropertyType(tag, nullptr) == E_POINTER);
            const auto found = model.values.find(tag);
            FUZZ_CHECK(bag->GetPropertyType(tag, &type) ==
                       (found == model.values.end() ? E_SYSAPI_PROPERTY_NOT_FOUND : S_OK));
            FUZZ_CHECK(found == model.values.end() || type == found->second.type);
            FUZZ_CHECK(bag->HasProperty(tag) == (found == model.values.end() ? S_FALSE : S_OK));
            break;
        }
        case 11: {
            const bool present = model.values.erase(tag) != 0;
            model.modified.erase(tag);
            FUZZ_CHECK(bag->RemoveProperty(tag) == (present ? S_OK : E_SYSAPI_PROPERTY_NOT_FOUND));
            break;
        }
        case 12:
            FUZZ_CHECK(bag->RemoveAll() == S_OK);
            model.values.clear();
            model.modified.clear();
            break;
        case 13: {
            IcxSysEnumPropertyTag* tags = nullptr;
            FUZZ_CHECK(bag->EnumTags(nullptr) == E_POINTER);
            const HRESULT hr = bag->EnumTags(&tags);
            walk(in, hr, tags, tagsOf(model));
            break;
        }
        case 14: {
            IcxSysEnumPropertyTag* tags = nullptr;
            FUZZ_CHECK(bag->EnumModifiedTags(nullptr) == E_POINTER);
            const HRESULT hr = bag->EnumModifiedTags(&tags);
            walk(in, hr, tags, {model.modified.begin(), model.modified.end()});
            break;
        }
        case 15:
            FUZZ_CHECK(bag->ClearModified() == (model.modified.empty() ? S_FALSE : S_OK));
            model.modified.clear();
            break;
        case 16: {
            const bool present = model.values.count(tag) != 0;
            const bool cleared = present && model.modified.erase(tag) != 0;
            const bool asked = in.flag();
            bool left = model.modified.empty();  // the wrong answer, until the bag writes it
            const HRESULT hr = bag->ClearModifiedTag(tag, asked ? &left : nullptr);
            FUZZ_CHECK(hr == (!present ? E_SYSAPI_PROPERTY_NOT_FOUND : cleared ? S_OK : S_FALSE));
            FUZZ_CHECK(!asked || left == !model.modified.empty());
            break;
        }
        case 17: {
            const bool present = model.values.count(tag) != 0;
            if (present) model.modified.insert(tag);
            FUZZ_CHECK(bag->MarkModified(tag) == (present ? S_OK : E_SYSAPI_PROPERTY_NOT_FOUND));
            break;
        }
        case 18:
            if (in.flag() || model.locks == 0) {
                FUZZ_CHECK(bag->Lock() == S_OK);
                ++model.locks;
            } else {
                FUZZ_CHECK(bag->Unlock() == S_OK);
                --model.locks;
            }
            break;
        case 19: clone(); break;
        case 20: current_ = bags_[1 - current_] ? 1 - current_ : current_; break;
        default: checkInterfaces(bag, in.byte()); break;
        }
    }

private:
    static void set(HRESULT hr, Model& model, uint32_t tag, const Value& value) {
        const auto found = model.values.find(tag);
        if (found != model.values.end() && found->second.type != value.type) {
            FUZZ_CHECK(hr == E_SYSAPI_PROPERTY_TYPE_MISMATCH);
            return;
        }
        FUZZ_CHECK(hr == S_OK);
        model.values[tag] = value;
        model.modified.insert(tag);
    }

    // The code a get of this type must return.
    static HRESULT expectedGet(const Model& model, uint32_t tag, int32_t type) {
        const auto found = model.values.find(tag);
        if (found == model.values.end()) return E_SYSAPI_PROPERTY_NOT_FOUND;
        return found->second.type == type ? S_OK : E_SYSAPI_PROPERTY_TYPE_MISMATCH;
    }

    template <class T>
    static void checkFixed(HRESULT (Bag::*get)(uint32_t, T*), Bag* bag, const Model& model,
                           uint32_t tag, int32_t type) {
        T got;
        std::memset(&got, 0x5A, sizeof got);
        const HRESULT hr = (bag->*get)(tag, &got);
        FUZZ_CHECK(hr == expectedGet(model, tag, type));
        FUZZ_CHECK((bag->*get)(tag, nullptr) == E_POINTER);
        if (hr == S_OK) FUZZ_CHECK(rawOf(got) == model.values.at(tag).raw);
    }

    static void checkValue(Bag* bag, const Model& model, uint32_t tag, int32_t type) {
        switch (type) {
        case 1: {
            int32_t flag = 7;
            const HRESULT hr = bag->GetBool(tag, &flag);
            FUZZ_CHECK(hr == expectedGet(model, tag, 1));
            FUZZ_CHECK(flag == (hr == S_OK ? model.values.at(tag).raw[0] : 0));
            break;
        }
        case 2: checkFixed<int32_t>(&Bag::GetInt32, bag, model, tag, 2); break;
        case 3: checkFixed<uint32_t>(&Bag::GetUInt32, bag, model, tag, 3); break;
        case 4: checkFixed<double>(&Bag::GetDouble, bag, model, tag, 4); break;
        case 5: checkFixed<GUID>(&Bag::GetGuid, bag, model, tag, 5); break;
        case 6: {
            wchar_t* text = reinterpret_cast<wchar_t*>(&text);
            const HRESULT hr = bag->GetString(tag, &text);
            FUZZ_CHECK(hr == expectedGet(model, tag, 6));
            qx::dsc::HostStringHolder held(text);
            // A null host string is an empty one.
            FUZZ_CHECK(hr == S_OK ? held.view() == model.values.at(tag).text : !held);
            FUZZ_CHECK(bag->GetString(tag, nullptr) == E_POINTER);
            break;
        }
        default: checkFixed<cxSysAttrTimestampUTC>(&Bag::GetTimestamp, bag, model, tag, 7); break;
        }
    }

    // Local fields of the rounded time; all -1 for a missing, mistyped or unset one, and
    // for one whose year an int32 cannot hold.
    static void checkFields(Bag* bag, const Model& model, uint32_t tag) {
        int32_t f[6];
        const HRESULT hr = bag->GetTimestampFields(tag, &f[0], &f[1], &f[2], &f[3], &f[4], &f[5]);
        HRESULT expected = expectedGet(model, tag, 7);
        int64_t want[6] = {-1, -1, -1, -1, -1, -1};
        if (expected == S_OK) {
            cxSysAttrTimestampUTC stored;
            std::memcpy(&stored, model.values.at(tag).raw.data(), sizeof stored);
            if (stored.fraction != 0 || stored.seconds != 0) {
                try {
                    const std::tm t =
                        qx::dsc::absTimeToLocalDateTime({stored.fraction, stored.seconds}, true);
                    const int64_t year = int64_t(t.tm_year) + 1900;
                    if (year > INT32_MAX) throw qx::dsc::exception::OutOfRange();
                    const int64_t fields[6] = {year,      t.tm_mon + 1, t.tm_mday,
                                               t.tm_hour, t.tm_min,     t.tm_sec};
                    std::copy(fields, fields + 6, want);
                } catch (const qx::dsc::exception::OutOfRange&) {
                    expected = E_FAIL;
                }
            }
        }
        FUZZ_CHECK(hr == expected);
        for (int i = 0; i < 6; ++i) FUZZ_CHECK(f[i] == want[i]);
        FUZZ_CHECK(bag->GetTimestampFields(tag, &f[0], &f[1], &f[2], &f[3], &f[4], nullptr) ==
                   E_POINTER);
    }

    // Steps through a tag enumerator with Next, Skip, Reset and Clone as the input says.
    static void walk(Input& in, HRESULT hr, IcxSysEnumPropertyTag* tags,
                     const std::vector<uint32_t>& expected) {
        if (expected.empty()) {
            FUZZ_CHECK(hr == S_FALSE && tags == nullptr);
            return;
        }
        FUZZ_CHECK(hr == S_OK && tags != nullptr);
        std::size_t position = 0;
        for (int steps = in.byte() % 8; steps >= 0; --steps) {
            const uint32_t count = in.byte() % 4;
            const std::size_t left = expected.size() - position;
            switch (in.byte() % 4) {
            case 0: {
                uint32_t got[4] = {};
                uint32_t fetched = 99;
                const bool withFetched = count == 1 ? in.flag() : true;
                const HRESULT next = tags->Next(count, got, withFetched ? &fetched : nullptr);
                const std::size_t n = count < left ? count : left;
                FUZZ_CHECK(next == (n == count ? S_OK : S_FALSE));
                FUZZ_CHECK(!withFetched || fetched == n);
                for (std::size_t i = 0; i < n; ++i) FUZZ_CHECK(got[i] == expected[position + i]);
                position += n;
                if (count != 1) FUZZ_CHECK(tags->Next(count, got, nullptr) == E_POINTER);
                break;
            }
            case 1:
                FUZZ_CHECK(tags->Skip(count) == (count <= left ? S_OK : S_FALSE));
                position += count < left ? count : left;
                break;
            case 2:
                FUZZ_CHECK(tags->Reset() == S_OK);
                position = 0;
                break;
            default: {
                IcxSysEnumPropertyTag* copy = nullptr;
                FUZZ_CHECK(tags->Clone(nullptr) == E_POINTER);
                FUZZ_CHECK(tags->Clone(&copy) == S_OK && copy);
                std::swap(copy, tags);  // the clone goes on; the original goes first
                copy->Release();
                break;
            }
            }
        }
        std::vector<uint32_t> rest(expected.begin() + long(position), expected.end());
        std::vector<uint32_t> got(rest.size() + 1);
        uint32_t fetched = 0;
        FUZZ_CHECK(tags->Next(uint32_t(got.size()), got.data(), &fetched) == S_FALSE);
        got.resize(fetched);
        FUZZ_CHECK(got == rest);
        FUZZ_CHECK(tags->Release() == 0);
    }

    static void checkInterfaces(Bag* bag, uint8_t choice) {
        static const IID* const kAnswered[] = {&IID_IUnknown, &IID_IcxSysPropertyBag,
                                               &IID_IcxSysPropertyBag2, &IID_IcxSysPropertyBag3,
                                               &IID_IcxSysPropertyBag4};
        void* out = &out;
        if (choice % 6 == 5) {
            FUZZ_CHECK(bag->QueryInterface(IID_IcxSysEnumPropertyTag, &out) == E_NOINTERFACE &&
                       !out);
            return;
        }
        FUZZ_CHECK(bag->QueryInterface(*kAnswered[choice % 6], &out) == S_OK && out == bag);
        bag->Release();
    }

    void clone() {
        IcxSysPropertyBag* copy = nullptr;
        FUZZ_CHECK(bags_[current_]->Clone(nullptr) == E_POINTER);
        FUZZ_CHECK(bags_[current_]->Clone(&copy) == S_OK && copy);
        const int other = 1 - current_;
        if (bags_[other]) {
            for (; models_[other].locks > 0; --models_[other].locks) bags_[other]->Unlock();
            FUZZ_CHECK(bags_[other]->Release() == 0);
        }
        bags_[other] = static_cast<Bag*>(copy);
        models_[other] = models_[current_];
        models_[other].modified.clear();
        models_[other].locks = 0;
        checkWhole(other);
    }

    void checkWhole(int i) {
        for (const auto& [tag, value] : models_[i].values)
            checkValue(bags_[i], models_[i], tag, value.type);
        const uint8_t noSteps[] = {0, 0, 2};  // one Reset, then the rest
        IcxSysEnumPropertyTag* tags = nullptr;
        HRESULT hr = bags_[i]->EnumTags(&tags);
        Input quiet(noSteps, sizeof noSteps);
        walk(quiet, hr, tags, tagsOf(models_[i]));
        hr = bags_[i]->EnumModifiedTags(&tags);
        Input again(noSteps, sizeof noSteps);
        walk(again, hr, tags, {models_[i].modified.begin(), models_[i].modified.end()});
    }

    Bag* bags_[2] = {nullptr, nullptr};
    Model models_[2];
    int current_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qxfuzz::useFixedTimeZone();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Input in(data, size);
    Run run;
    while (!in.empty()) run.step(in);
    return 0;
}
