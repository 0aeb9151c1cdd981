// SPDX-License-Identifier: MIT
#include "sysapicpp/propbag/CcxDynamicPropertyBag.h"

#include <algorithm>
#include <ctime>
#include <cwchar>
#include <limits>
#include <new>
#include <set>
#include <utility>

#include "platform/qx/dsc/AbsTime.h"
#include "platform/qx/dsc/HostString.h"
#include "sysapicpp/CQXComEnumOnSTL.h"

using qxapal::CqxCSLock;
using sysapicpp::E_FAIL;
using sysapicpp::E_NOTIMPL;
using sysapicpp::E_OUTOFMEMORY;
using sysapicpp::E_POINTER;
using sysapicpp::E_SYSAPI_PROPERTY_NOT_FOUND;
using sysapicpp::E_SYSAPI_PROPERTY_TYPE_MISMATCH;
using sysapicpp::S_FALSE;
using sysapicpp::S_OK;
using HRESULT = sysapicpp::HRESULT;

namespace {

bool isZero(const cxSysAttrTimestampUTC& time) { return time.fraction == 0 && time.seconds == 0; }

// Whether storing the text would store what is there: the same characters, and null only
// for null (a host tells a null string from an empty one).
bool sameText(const CqxBStr& stored, const wchar_t* text) {
    if (!stored.get() || !text) return !stored.get() && !text;
    const std::size_t length = stored.length();
    return std::wcslen(text) == length && std::wmemcmp(stored.get(), text, length) == 0;
}

}  // namespace

const QXInterfaceMapEntry* CcxDynamicPropertyBag::interfaceMap() {
    // Every bag interface is the one table at the start of the object.
    static const std::ptrdiff_t offset =
        qxOffsetOfClass<IcxSysPropertyBag4, CcxDynamicPropertyBag>();
    static const QXInterfaceMapEntry map[] = {
        {&IID_IcxSysPropertyBag, offset},
        {&IID_IcxSysPropertyBag2, offset},
        {&IID_IcxSysPropertyBag3, offset},
        {&IID_IcxSysPropertyBag4, offset},
        {nullptr, 0},
    };
    return map;
}

HRESULT CcxDynamicPropertyBag::createInstance(IcxSysPropertyBag4** out) {
    if (!out) return E_POINTER;
    *out = CQXComObject<CcxDynamicPropertyBag>::createInstance();
    if (!*out) return E_OUTOFMEMORY;
    (*out)->AddRef();
    return S_OK;
}

namespace {

// An item's bag holds a few dozen values: room for that many grows in two steps, not six.
constexpr std::size_t kFirstRoom = 16;

template <class Container>
void makeRoom(Container& container) {
    if (container.size() == container.capacity())
        container.reserve(std::max(kFirstRoom, container.capacity() * 2));
}

template <class Values>
auto positionIn(Values& values, uint32_t tag) {
    return std::lower_bound(values.begin(), values.end(), tag,
                            [](const auto& entry, uint32_t wanted) { return entry.first < wanted; });
}

}  // namespace

CcxDynamicPropertyBag::Values::iterator CcxDynamicPropertyBag::position(uint32_t tag) {
    return positionIn(values_, tag);
}

const std::unique_ptr<CcxPropertyValue>* CcxDynamicPropertyBag::entry(uint32_t tag) const {
    const auto it = positionIn(values_, tag);
    return it == values_.end() || it->first != tag ? nullptr : &it->second;
}

bool CcxDynamicPropertyBag::mark(uint32_t tag) {
    const auto it = std::lower_bound(modified_.begin(), modified_.end(), tag);
    if (it != modified_.end() && *it == tag) return false;
    const std::size_t at = static_cast<std::size_t>(it - modified_.begin());
    makeRoom(modified_);
    modified_.insert(modified_.begin() + static_cast<std::ptrdiff_t>(at), tag);
    return true;
}

bool CcxDynamicPropertyBag::unmark(uint32_t tag) {
    const auto it = std::lower_bound(modified_.begin(), modified_.end(), tag);
    if (it == modified_.end() || *it != tag) return false;
    modified_.erase(it);
    return true;
}

template <class T>
HRESULT CcxDynamicPropertyBag::setValue(uint32_t tag, T value) {
    using Value = CcxTemplatePropertyValue<T>;
    try {
        CqxCSLock lock(cs_);
        const auto it = position(tag);
        if (it == values_.end() || it->first != tag) {
            const std::size_t at = static_cast<std::size_t>(it - values_.begin());
            auto created = std::make_unique<Value>(std::move(value));
            const bool marked = mark(tag);
            try {
                makeRoom(values_);
                values_.emplace(values_.begin() + static_cast<std::ptrdiff_t>(at), tag, std::move(created));
            } catch (...) {
                if (marked) unmark(tag);
                throw;
            }
            return S_OK;
        }
        if (!it->second || it->second->type != Value::kType) return E_SYSAPI_PROPERTY_TYPE_MISMATCH;
        mark(tag);  // before the overwrite, which cannot fail
        static_cast<Value*>(it->second.get())->value = std::move(value);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

template <class T>
const T* CcxDynamicPropertyBag::findValue(uint32_t tag, HRESULT& code) const {
    using Value = CcxTemplatePropertyValue<T>;
    const std::unique_ptr<CcxPropertyValue>* found = entry(tag);
    if (!found) {
        code = E_SYSAPI_PROPERTY_NOT_FOUND;
        return nullptr;
    }
    if (!*found || (*found)->type != Value::kType) {
        code = E_SYSAPI_PROPERTY_TYPE_MISMATCH;
        return nullptr;
    }
    code = S_OK;
    return &static_cast<const Value*>(found->get())->value;
}

template <class T>
HRESULT CcxDynamicPropertyBag::getValue(uint32_t tag, T* out) {
    if (!out) return E_POINTER;
    CqxCSLock lock(cs_);
    HRESULT code;
    if (const T* value = findValue<T>(tag, code)) *out = *value;
    return code;
}

HRESULT CcxDynamicPropertyBag::enumerate(Tags tags, IcxSysEnumPropertyTag** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (tags.empty()) return S_FALSE;
    try {
        return CcxSysEnumPropertyTagsSTL<Tags>::create(std::move(tags), out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CcxDynamicPropertyBag::EnumTags(IcxSysEnumPropertyTag** out) {
    try {
        CqxCSLock lock(cs_);
        Tags tags;
        tags.reserve(values_.size());
        for (const auto& entry : values_) tags.push_back(entry.first);
        return enumerate(std::move(tags), out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

bool CcxDynamicPropertyBag::empty() const {
    CqxCSLock lock(cs_);
    return values_.empty();
}

HRESULT CcxDynamicPropertyBag::HasProperty(uint32_t tag) {
    CqxCSLock lock(cs_);
    return entry(tag) ? S_OK : S_FALSE;
}

HRESULT CcxDynamicPropertyBag::GetPropertyType(uint32_t tag, int32_t* type) {
    if (!type) return E_POINTER;
    CqxCSLock lock(cs_);
    const std::unique_ptr<CcxPropertyValue>* found = entry(tag);
    if (!found) return E_SYSAPI_PROPERTY_NOT_FOUND;
    if (!*found) return E_SYSAPI_PROPERTY_TYPE_MISMATCH;
    *type = (*found)->type;
    return S_OK;
}

HRESULT CcxDynamicPropertyBag::RemoveProperty(uint32_t tag) {
    CqxCSLock lock(cs_);
    const auto it = position(tag);
    if (it == values_.end() || it->first != tag) return E_SYSAPI_PROPERTY_NOT_FOUND;
    values_.erase(it);
    unmark(tag);
    return S_OK;
}

HRESULT CcxDynamicPropertyBag::RemoveAll() {
    CqxCSLock lock(cs_);
    values_.clear();
    modified_.clear();
    return S_OK;
}

HRESULT CcxDynamicPropertyBag::SetBool(uint32_t tag, int32_t flag) {
    return setValue<bool>(tag, flag != 0);
}
HRESULT CcxDynamicPropertyBag::SetInt32(uint32_t tag, int32_t value) {
    return setValue<int>(tag, value);
}
HRESULT CcxDynamicPropertyBag::SetUInt32(uint32_t tag, uint32_t value) {
    return setValue<unsigned int>(tag, value);
}
HRESULT CcxDynamicPropertyBag::SetDouble(uint32_t tag, double value) {
    return setValue<double>(tag, value);
}
HRESULT CcxDynamicPropertyBag::SetGuid(uint32_t tag, const GUID* value) {
    if (!value) return E_POINTER;
    return setValue<_GUID>(tag, *value);
}
HRESULT CcxDynamicPropertyBag::SetString(uint32_t tag, const wchar_t* value) {
    try {
        CqxCSLock lock(cs_);
        // An item's every fill sets its texts again, mostly to what they were: marked, kept.
        const std::unique_ptr<CcxPropertyValue>* found = entry(tag);
        if (found && *found && (*found)->type == kPropertyTypeString &&
            sameText(static_cast<const CcxTemplatePropertyValue<CqxBStr>&>(**found).value, value)) {
            mark(tag);
            return S_OK;
        }
        return setValue<CqxBStr>(tag, CqxBStr(value));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
HRESULT CcxDynamicPropertyBag::SetTimestamp(uint32_t tag, const cxSysAttrTimestampUTC* value) {
    if (!value) return E_POINTER;
    return setValue<cxSysAttrTimestampUTC>(tag, *value);
}

HRESULT CcxDynamicPropertyBag::SetTimestampFields(uint32_t, int32_t, int32_t, int32_t, int32_t,
                                                  int32_t, int32_t) {
    return E_NOTIMPL;
}

HRESULT CcxDynamicPropertyBag::GetBool(uint32_t tag, int32_t* flag) {
    if (!flag) return E_POINTER;
    bool value = false;
    const HRESULT code = getValue<bool>(tag, &value);
    *flag = value ? 1 : 0;
    return code;
}
HRESULT CcxDynamicPropertyBag::GetInt32(uint32_t tag, int32_t* value) {
    return getValue<int>(tag, value);
}
HRESULT CcxDynamicPropertyBag::GetUInt32(uint32_t tag, uint32_t* value) {
    return getValue<unsigned int>(tag, value);
}
HRESULT CcxDynamicPropertyBag::GetDouble(uint32_t tag, double* value) {
    return getValue<double>(tag, value);
}
HRESULT CcxDynamicPropertyBag::GetGuid(uint32_t tag, GUID* value) {
    return getValue<_GUID>(tag, value);
}
HRESULT CcxDynamicPropertyBag::GetTimestamp(uint32_t tag, cxSysAttrTimestampUTC* value) {
    return getValue<cxSysAttrTimestampUTC>(tag, value);
}

HRESULT CcxDynamicPropertyBag::GetString(uint32_t tag, wchar_t** value) {
    if (!value) return E_POINTER;
    *value = nullptr;
    try {
        CqxCSLock lock(cs_);
        HRESULT code;
        const CqxBStr* stored = findValue<CqxBStr>(tag, code);
        if (stored) *value = stored->copy();
        return code;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CcxDynamicPropertyBag::GetTimestampFields(uint32_t tag, int32_t* year, int32_t* month,
                                                  int32_t* day, int32_t* hour, int32_t* minute,
                                                  int32_t* second) {
    int32_t* const fields[] = {year, month, day, hour, minute, second};
    for (int32_t* field : fields) {
        if (!field) return E_POINTER;
        *field = -1;
    }
    cxSysAttrTimestampUTC stored{};
    const HRESULT code = getValue<cxSysAttrTimestampUTC>(tag, &stored);
    if (sysapicpp::failed(code) || isZero(stored)) return code;
    std::tm local{};
    try {
        local = qx::dsc::absTimeToLocalDateTime({stored.fraction, stored.seconds}, true);
    } catch (...) {
        return E_FAIL;  // a time the C library cannot express
    }
    if (local.tm_year > std::numeric_limits<int32_t>::max() - 1900) return E_FAIL;  // nor the host
    *year = local.tm_year + 1900;
    *month = local.tm_mon + 1;
    *day = local.tm_mday;
    *hour = local.tm_hour;
    *minute = local.tm_min;
    *second = local.tm_sec;
    return S_OK;
}

HRESULT CcxDynamicPropertyBag::Clone(IcxSysPropertyBag** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    IcxSysPropertyBag4* created = nullptr;
    if (sysapicpp::failed(createInstance(&created))) return E_OUTOFMEMORY;
    QXComPtr<IcxSysPropertyBag4> copy(created, false);
    const HRESULT code = static_cast<CcxDynamicPropertyBag*>(copy.get())->copyValuesOf(*this);
    if (sysapicpp::failed(code)) return code;
    *out = copy.detach();
    return S_OK;
}

namespace {

HRESULT collectTags(IcxSysEnumPropertyTag* tags, std::set<uint32_t>& into) {
    for (;;) {
        uint32_t tag = 0;
        uint32_t fetched = 0;
        const HRESULT code = tags->Next(1, &tag, &fetched);
        if (sysapicpp::failed(code)) return code;
        if (fetched == 0) return S_OK;
        into.insert(tag);
    }
}

// Copies one value between any two bags, by its type code.
HRESULT copyValue(IcxSysPropertyBag* from, IcxSysPropertyBag2* fromRaw, IcxSysPropertyBag4* to,
                  uint32_t tag) {
    int32_t type = 0;
    HRESULT code = from->GetPropertyType(tag, &type);
    if (sysapicpp::failed(code)) return code;
    switch (type) {
    case kPropertyTypeBool: {
        int32_t v = 0;
        if (sysapicpp::failed(code = from->GetBool(tag, &v))) return code;
        return to->SetBool(tag, v);
    }
    case kPropertyTypeInt32: {
        int32_t v = 0;
        if (sysapicpp::failed(code = from->GetInt32(tag, &v))) return code;
        return to->SetInt32(tag, v);
    }
    case kPropertyTypeUInt32: {
        uint32_t v = 0;
        if (sysapicpp::failed(code = from->GetUInt32(tag, &v))) return code;
        return to->SetUInt32(tag, v);
    }
    case kPropertyTypeDouble: {
        double v = 0;
        if (sysapicpp::failed(code = from->GetDouble(tag, &v))) return code;
        return to->SetDouble(tag, v);
    }
    case kPropertyTypeGuid: {
        GUID v{};
        if (sysapicpp::failed(code = from->GetGuid(tag, &v))) return code;
        return to->SetGuid(tag, &v);
    }
    case kPropertyTypeString: {
        wchar_t* v = nullptr;
        if (sysapicpp::failed(code = from->GetString(tag, &v))) return code;
        code = to->SetString(tag, v);
        qx::dsc::freeHostString(v);
        return code;
    }
    case kPropertyTypeTimestamp: {
        cxSysAttrTimestampUTC v{};
        if (fromRaw) {
            if (sysapicpp::failed(code = fromRaw->GetTimestamp(tag, &v))) return code;
            return to->SetTimestamp(tag, &v);
        }
        std::tm local{};
        code = from->GetTimestampFields(tag, &local.tm_year, &local.tm_mon, &local.tm_mday,
                                        &local.tm_hour, &local.tm_min, &local.tm_sec);
        if (sysapicpp::failed(code)) return code;
        if (local.tm_year > 1903) {
            local.tm_year -= 1900;
            local.tm_mon -= 1;
            local.tm_isdst = -1;
            try {
                const auto abs = qx::dsc::localDateTimeToAbsTime(local);
                v = {abs.fraction, abs.seconds};
            } catch (...) {
                return E_FAIL;
            }
        }
        return to->SetTimestamp(tag, &v);
    }
    default:
        return E_FAIL;
    }
}

}  // namespace

namespace {

template <class T>
std::unique_ptr<CcxPropertyValue> copyOf(const CcxPropertyValue& value) {
    using Value = CcxTemplatePropertyValue<T>;
    return std::make_unique<Value>(static_cast<const Value&>(value).value);
}

}  // namespace

// What copyFrom would make of a bag of this kind, without a call through the interface
// for every value: a host's listing clones every item's bag.
HRESULT CcxDynamicPropertyBag::copyValuesOf(const CcxDynamicPropertyBag& source) {
    try {
        Values copied;
        {
            CqxCSLock lock(source.cs_);
            copied.reserve(source.values_.size());
            for (const auto& [tag, value] : source.values_) {
                if (!value) return E_SYSAPI_PROPERTY_TYPE_MISMATCH;
                std::unique_ptr<CcxPropertyValue> copy;
                switch (value->type) {
                case kPropertyTypeBool: copy = copyOf<bool>(*value); break;
                case kPropertyTypeInt32: copy = copyOf<int>(*value); break;
                case kPropertyTypeUInt32: copy = copyOf<unsigned int>(*value); break;
                case kPropertyTypeDouble: copy = copyOf<double>(*value); break;
                case kPropertyTypeGuid: copy = copyOf<_GUID>(*value); break;
                case kPropertyTypeString: copy = copyOf<CqxBStr>(*value); break;
                case kPropertyTypeTimestamp: copy = copyOf<cxSysAttrTimestampUTC>(*value); break;
                default: return E_FAIL;
                }
                copied.emplace_back(tag, std::move(copy));
            }
        }
        CqxCSLock lock(cs_);
        values_ = std::move(copied);
        modified_.clear();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CcxDynamicPropertyBag::copyFrom(IcxSysPropertyBag* source) {
    if (!source) return E_POINTER;
    try {
        RemoveAll();
        std::set<uint32_t> sourceModified;
        QXComPtr<IcxSysPropertyBag2> raw;
        if (sysapicpp::succeeded(source->QueryInterface(
                IID_IcxSysPropertyBag2, reinterpret_cast<void**>(raw.receive())))) {
            QXComPtr<IcxSysEnumPropertyTag> modified;
            const HRESULT code = raw->EnumModifiedTags(modified.receive());
            if (sysapicpp::failed(code)) return code;
            if (modified) {
                const HRESULT collected = collectTags(modified.get(), sourceModified);
                if (sysapicpp::failed(collected)) return collected;
            }
        }
        QXComPtr<IcxSysEnumPropertyTag> tags;
        HRESULT code = source->EnumTags(tags.receive());
        if (sysapicpp::failed(code)) return code;
        std::set<uint32_t> sourceTags;
        if (tags && sysapicpp::failed(code = collectTags(tags.get(), sourceTags))) return code;
        for (uint32_t tag : sourceTags) {
            if (sysapicpp::failed(code = copyValue(source, raw.get(), this, tag))) return code;
        }
        {
            CqxCSLock lock(cs_);
            modified_.assign(sourceModified.begin(), sourceModified.end());
        }
        ClearModified();
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CcxDynamicPropertyBag::ClearModified() {
    CqxCSLock lock(cs_);
    if (modified_.empty()) return S_FALSE;
    modified_.clear();
    return S_OK;
}

HRESULT CcxDynamicPropertyBag::EnumModifiedTags(IcxSysEnumPropertyTag** out) {
    try {
        CqxCSLock lock(cs_);
        return enumerate(modified_, out);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT CcxDynamicPropertyBag::Lock() {
    cs_.lock(-1);
    ++lockCount_;
    return S_OK;
}

HRESULT CcxDynamicPropertyBag::Unlock() {
    CqxCSLock lock(cs_);
    if (lockCount_ <= 0) return E_FAIL;
    --lockCount_;
    cs_.unlock();  // the hold taken by Lock; this scope still holds its own
    return S_OK;
}

HRESULT CcxDynamicPropertyBag::ClearModifiedTag(uint32_t tag, bool* anyLeft) {
    CqxCSLock lock(cs_);
    const bool present = entry(tag) != nullptr;
    const bool cleared = present && unmark(tag);
    if (anyLeft) *anyLeft = !modified_.empty();
    if (!present) return E_SYSAPI_PROPERTY_NOT_FOUND;
    return cleared ? S_OK : S_FALSE;
}

HRESULT CcxDynamicPropertyBag::MarkModified(uint32_t tag) {
    try {
        CqxCSLock lock(cs_);
        if (!entry(tag)) return E_SYSAPI_PROPERTY_NOT_FOUND;
        mark(tag);
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}
