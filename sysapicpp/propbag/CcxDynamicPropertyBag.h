// SPDX-License-Identifier: MIT
#pragma once
// The system's own property bag: a thread-safe map from tag to typed value that also
// remembers which tags were changed.

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "platform/qxapal/CqxCS.h"
#include "sysapicpp/CQXComObject.h"
#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/propbag/CcxPropertyValue.h"

class CcxDynamicPropertyBag : public IcxSysPropertyBag4,
                              public virtual CQXComObjectRootEx<CQXComMultiThreadModelNoCS> {
public:
    using HRESULT = sysapicpp::HRESULT;

    static const QXInterfaceMapEntry* interfaceMap();

    // A new empty bag with one reference for the caller.
    static HRESULT createInstance(IcxSysPropertyBag4** out);

    HRESULT EnumTags(IcxSysEnumPropertyTag** out) override;
    HRESULT HasProperty(uint32_t tag) override;
    HRESULT GetPropertyType(uint32_t tag, int32_t* type) override;
    HRESULT RemoveProperty(uint32_t tag) override;
    HRESULT RemoveAll() override;
    HRESULT SetBool(uint32_t tag, int32_t flag) override;
    HRESULT SetInt32(uint32_t tag, int32_t value) override;
    HRESULT SetUInt32(uint32_t tag, uint32_t value) override;
    HRESULT SetDouble(uint32_t tag, double value) override;
    HRESULT SetGuid(uint32_t tag, const GUID* value) override;
    HRESULT SetString(uint32_t tag, const wchar_t* value) override;
    HRESULT SetTimestampFields(uint32_t tag, int32_t year, int32_t month, int32_t day,
                               int32_t hour, int32_t minute, int32_t second) override;
    HRESULT GetBool(uint32_t tag, int32_t* flag) override;
    HRESULT GetInt32(uint32_t tag, int32_t* value) override;
    HRESULT GetUInt32(uint32_t tag, uint32_t* value) override;
    HRESULT GetDouble(uint32_t tag, double* value) override;
    HRESULT GetGuid(uint32_t tag, GUID* value) override;
    HRESULT GetString(uint32_t tag, wchar_t** value) override;
    HRESULT GetTimestampFields(uint32_t tag, int32_t* year, int32_t* month, int32_t* day,
                               int32_t* hour, int32_t* minute, int32_t* second) override;
    HRESULT Clone(IcxSysPropertyBag** out) override;
    HRESULT ClearModified() override;
    HRESULT EnumModifiedTags(IcxSysEnumPropertyTag** out) override;
    HRESULT GetTimestamp(uint32_t tag, cxSysAttrTimestampUTC* value) override;
    HRESULT SetTimestamp(uint32_t tag, const cxSysAttrTimestampUTC* value) override;
    HRESULT Lock() override;
    HRESULT Unlock() override;
    HRESULT ClearModifiedTag(uint32_t tag, bool* anyLeft) override;
    HRESULT MarkModified(uint32_t tag) override;

    // Replaces this bag's contents with a copy of any bag's values; the modified set
    // ends up empty.
    HRESULT copyFrom(IcxSysPropertyBag* source);

    // Whether the bag holds no value, without making a tag enumerator to find out.
    bool empty() const;

protected:
    CcxDynamicPropertyBag() = default;
    ~CcxDynamicPropertyBag() override = default;

private:
    // The map and the set in tag order, as sorted vectors: a bag holds a few dozen values,
    // and every node of a tree was an allocation of its own.
    using Values = std::vector<std::pair<uint32_t, std::unique_ptr<CcxPropertyValue>>>;
    using Tags = std::vector<uint32_t>;

    template <class T>
    HRESULT setValue(uint32_t tag, T value);
    // Null when the tag is missing (code NOT_FOUND) or holds another type (MISMATCH).
    template <class T>
    const T* findValue(uint32_t tag, HRESULT& code) const;
    template <class T>
    HRESULT getValue(uint32_t tag, T* out);
    HRESULT enumerate(Tags tags, IcxSysEnumPropertyTag** out);
    Values::iterator position(uint32_t tag);
    // The tag's entry, or null when the bag has none.
    const std::unique_ptr<CcxPropertyValue>* entry(uint32_t tag) const;
    // Whether the tag was not marked before.
    bool mark(uint32_t tag);
    bool unmark(uint32_t tag);
    HRESULT copyValuesOf(const CcxDynamicPropertyBag& source);

    mutable qxapal::CqxCS cs_;
    Values values_;
    Tags modified_;
    int32_t lockCount_ = 0;
};
