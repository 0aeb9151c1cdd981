// SPDX-License-Identifier: MIT
#pragma once
// A typed, throwing view of any property bag, the system's own or the host's.

#include <cstdint>
#include <set>
#include <string>
#include <string_view>

#include "sysapicpp/CQXComObject.h"
#include "sysapicpp/HostInterfaces.h"

namespace sysapicpp {

class PropertyBagHandle {
public:
    PropertyBagHandle() = default;
    // Adds a reference to the bag (null gives a handle without a bag).
    explicit PropertyBagHandle(IcxSysPropertyBag4* bag) : bag_(bag) {}
    virtual ~PropertyBagHandle() = default;
    PropertyBagHandle(const PropertyBagHandle&) = default;
    PropertyBagHandle& operator=(const PropertyBagHandle&) = default;

    // Asks any object for the bag interface; UnexpectedException when it has none.
    static PropertyBagHandle fromObject(IUnknown* object);
    // A new empty bag of the system's own kind.
    static PropertyBagHandle createEmpty();

    IcxSysPropertyBag4* get() const { return bag_.get(); }
    bool hasBag() const { return static_cast<bool>(bag_); }
    // The bag with a reference for the caller.
    IcxSysPropertyBag4* detach() { return bag_.detach(); }

    bool hasProperty(uint32_t tag) const;
    int32_t getPropertyType(uint32_t tag) const;
    void removeProperty(uint32_t tag) const;
    void removeAll() const;

    bool getBool(uint32_t tag) const;
    int32_t getInt32(uint32_t tag) const;
    uint32_t getUInt32(uint32_t tag) const;
    double getDouble(uint32_t tag) const;
    GUID getGuid(uint32_t tag) const;
    std::wstring getWideString(uint32_t tag) const;
    std::string getString(uint32_t tag) const;  // UTF-8
    cxSysAttrTimestampUTC getTimestamp(uint32_t tag) const;

    void setBool(uint32_t tag, bool value) const;
    void setInt32(uint32_t tag, int32_t value) const;
    void setUInt32(uint32_t tag, uint32_t value) const;
    void setDouble(uint32_t tag, double value) const;
    void setGuid(uint32_t tag, const GUID& value) const;
    void setWideString(uint32_t tag, const std::wstring& value) const;
    void setString(uint32_t tag, std::string_view utf8) const;
    void setTimestamp(uint32_t tag, const cxSysAttrTimestampUTC& value) const;

protected:
    // The bag, or UnexpectedException for a handle without one.
    IcxSysPropertyBag4& bag() const;
    // HResultException for a negative result of a changing call or of a reading call.
    static void checkSet(HRESULT hr);
    static void checkGet(HRESULT hr);

private:
    QXComPtr<IcxSysPropertyBag4> bag_;
};

}  // namespace sysapicpp
