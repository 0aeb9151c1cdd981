// SPDX-License-Identifier: MIT
#pragma once
// Typed values stored in a property bag.

#include <cstdint>
#include <utility>

#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/propbag/CqxBStr.h"

// Value type codes as GetPropertyType reports them.
enum : int32_t {
    kPropertyTypeBool = 1,
    kPropertyTypeInt32 = 2,
    kPropertyTypeUInt32 = 3,
    kPropertyTypeDouble = 4,
    kPropertyTypeGuid = 5,
    kPropertyTypeString = 6,
    kPropertyTypeTimestamp = 7,
};

class CcxPropertyValue {
public:
    explicit CcxPropertyValue(int32_t typeCode) : type(typeCode) {}
    virtual ~CcxPropertyValue() = default;

    int32_t type;
};

template <class T>
struct CcxPropertyTypeCode;
template <> struct CcxPropertyTypeCode<bool> { static constexpr int32_t value = kPropertyTypeBool; };
template <> struct CcxPropertyTypeCode<int> { static constexpr int32_t value = kPropertyTypeInt32; };
template <> struct CcxPropertyTypeCode<unsigned int> { static constexpr int32_t value = kPropertyTypeUInt32; };
template <> struct CcxPropertyTypeCode<double> { static constexpr int32_t value = kPropertyTypeDouble; };
template <> struct CcxPropertyTypeCode<_GUID> { static constexpr int32_t value = kPropertyTypeGuid; };
template <> struct CcxPropertyTypeCode<CqxBStr> { static constexpr int32_t value = kPropertyTypeString; };
template <> struct CcxPropertyTypeCode<cxSysAttrTimestampUTC> {
    static constexpr int32_t value = kPropertyTypeTimestamp;
};

template <class T>
class CcxTemplatePropertyValue : public CcxPropertyValue {
public:
    static constexpr int32_t kType = CcxPropertyTypeCode<T>::value;

    explicit CcxTemplatePropertyValue(T initial)
        : CcxPropertyValue(kType), value(std::move(initial)) {}

    T value;
};
