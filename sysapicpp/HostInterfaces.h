// SPDX-License-Identifier: MIT
#pragma once
// The host framework's COM-like interfaces as the plug-in sees them. The host calls
// through the function tables, so the declaration order below is the slot order and
// must not change. Identifiers are in HostInterfaceIds.h.

#include <cstdint>

#include "sysapicpp/HResult.h"
#include "sysapicpp/HostInterfaceIds.h"

// Absolute UTC time: fraction of a second in units of 2^-64 s, then seconds since
// 1904-01-01 00:00:00 UTC. All zero means that no time is set.
struct cxSysAttrTimestampUTC {
    uint64_t fraction;
    int64_t seconds;
};
static_assert(sizeof(cxSysAttrTimestampUTC) == 16, "the host passes timestamps as 16 bytes");

// No virtual destructors: the host's tables start with QueryInterface and objects are
// freed through Release only.
class IUnknown {
public:
    virtual sysapicpp::HRESULT QueryInterface(const IID& iid, void** out) = 0;  // 0
    virtual uint32_t AddRef() = 0;                                              // 1
    virtual uint32_t Release() = 0;                                             // 2

protected:
    ~IUnknown() = default;
};

// Strings are host strings (length-prefixed wide blocks); the receiver of a returned
// string frees it.
class IcxSysEnumStringList : public IUnknown {
public:
    virtual sysapicpp::HRESULT Next(uint32_t count, wchar_t** array, uint32_t* fetched) = 0;
    virtual sysapicpp::HRESULT Skip(uint32_t count) = 0;
    virtual sysapicpp::HRESULT Reset() = 0;
    virtual sysapicpp::HRESULT Clone(IcxSysEnumStringList** out) = 0;

protected:
    ~IcxSysEnumStringList() = default;
};

class IcxSysEnumPropertyTag : public IUnknown {
public:
    virtual sysapicpp::HRESULT Next(uint32_t count, uint32_t* array, uint32_t* fetched) = 0;
    virtual sysapicpp::HRESULT Skip(uint32_t count) = 0;
    virtual sysapicpp::HRESULT Reset() = 0;
    virtual sysapicpp::HRESULT Clone(IcxSysEnumPropertyTag** out) = 0;

protected:
    ~IcxSysEnumPropertyTag() = default;
};

class IcxSysPropertyBag : public IUnknown {
public:
    virtual sysapicpp::HRESULT EnumTags(IcxSysEnumPropertyTag** out) = 0;              // 3
    virtual sysapicpp::HRESULT HasProperty(uint32_t tag) = 0;                          // 4
    virtual sysapicpp::HRESULT GetPropertyType(uint32_t tag, int32_t* type) = 0;       // 5
    virtual sysapicpp::HRESULT RemoveProperty(uint32_t tag) = 0;                       // 6
    virtual sysapicpp::HRESULT RemoveAll() = 0;                                        // 7
    virtual sysapicpp::HRESULT SetBool(uint32_t tag, int32_t flag) = 0;                // 8
    virtual sysapicpp::HRESULT SetInt32(uint32_t tag, int32_t value) = 0;              // 9
    virtual sysapicpp::HRESULT SetUInt32(uint32_t tag, uint32_t value) = 0;            // 10
    virtual sysapicpp::HRESULT SetDouble(uint32_t tag, double value) = 0;              // 11
    virtual sysapicpp::HRESULT SetGuid(uint32_t tag, const GUID* value) = 0;           // 12
    virtual sysapicpp::HRESULT SetString(uint32_t tag, const wchar_t* value) = 0;      // 13
    virtual sysapicpp::HRESULT SetTimestampFields(uint32_t tag, int32_t year, int32_t month,
                                                  int32_t day, int32_t hour, int32_t minute,
                                                  int32_t second) = 0;                 // 14
    virtual sysapicpp::HRESULT GetBool(uint32_t tag, int32_t* flag) = 0;               // 15
    virtual sysapicpp::HRESULT GetInt32(uint32_t tag, int32_t* value) = 0;             // 16
    virtual sysapicpp::HRESULT GetUInt32(uint32_t tag, uint32_t* value) = 0;           // 17
    virtual sysapicpp::HRESULT GetDouble(uint32_t tag, double* value) = 0;             // 18
    virtual sysapicpp::HRESULT GetGuid(uint32_t tag, GUID* value) = 0;                 // 19
    virtual sysapicpp::HRESULT GetString(uint32_t tag, wchar_t** value) = 0;           // 20
    virtual sysapicpp::HRESULT GetTimestampFields(uint32_t tag, int32_t* year, int32_t* month,
                                                  int32_t* day, int32_t* hour, int32_t* minute,
                                                  int32_t* second) = 0;                // 21
    virtual sysapicpp::HRESULT Clone(IcxSysPropertyBag** out) = 0;                     // 22

protected:
    ~IcxSysPropertyBag() = default;
};

class IcxSysPropertyBag2 : public IcxSysPropertyBag {
public:
    virtual sysapicpp::HRESULT ClearModified() = 0;                                    // 23
    virtual sysapicpp::HRESULT EnumModifiedTags(IcxSysEnumPropertyTag** out) = 0;      // 24
    virtual sysapicpp::HRESULT GetTimestamp(uint32_t tag, cxSysAttrTimestampUTC* value) = 0;  // 25
    virtual sysapicpp::HRESULT SetTimestamp(uint32_t tag,
                                            const cxSysAttrTimestampUTC* value) = 0;  // 26

protected:
    ~IcxSysPropertyBag2() = default;
};

class IcxSysPropertyBag3 : public IcxSysPropertyBag2 {
public:
    virtual sysapicpp::HRESULT Lock() = 0;                                             // 27
    virtual sysapicpp::HRESULT Unlock() = 0;                                           // 28

protected:
    ~IcxSysPropertyBag3() = default;
};

class IcxSysPropertyBag4 : public IcxSysPropertyBag3 {
public:
    // anyLeft (optional) tells whether any modified tag remains.
    virtual sysapicpp::HRESULT ClearModifiedTag(uint32_t tag, bool* anyLeft) = 0;     // 29
    virtual sysapicpp::HRESULT MarkModified(uint32_t tag) = 0;                         // 30

protected:
    ~IcxSysPropertyBag4() = default;
};

// A host collection; the plug-in only ever adds bags to it.
class IcxSysPropertyBagCollection : public IUnknown {
public:
    virtual sysapicpp::HRESULT GetCount(uint32_t* count) = 0;                          // 3
    virtual sysapicpp::HRESULT GetItem(uint32_t index, IcxSysPropertyBag** bag) = 0;   // 4
    virtual sysapicpp::HRESULT Add(IcxSysPropertyBag* bag) = 0;                        // 5

protected:
    ~IcxSysPropertyBagCollection() = default;
};

// The host's receiver of change notifications (1 added, 2 removed, 3 changed).
class IcxSysNotificationSink : public IUnknown {
public:
    virtual sysapicpp::HRESULT OnItemsChanged(IUnknown* sender, int32_t changeType,
                                              IcxSysEnumStringList* itemNames) = 0;    // 3

protected:
    ~IcxSysNotificationSink() = default;
};

// Expert interfaces. Item names are NUL-terminated wide strings from the host; returned
// texts are host strings the host frees. Flags are 0 or 1.
class IcxSysExpertInfo : public IUnknown {
public:
    virtual sysapicpp::HRESULT GetExpertId(GUID* id) = 0;                              // 3
    virtual sysapicpp::HRESULT GetExpertName(wchar_t** name) = 0;                      // 4
    virtual sysapicpp::HRESULT GetExpertVersion(wchar_t** version) = 0;                // 5
    virtual sysapicpp::HRESULT GetExpertCategory(wchar_t** category) = 0;              // 6

protected:
    ~IcxSysExpertInfo() = default;
};

class IcxSysExpert : public IcxSysExpertInfo {
public:
    virtual sysapicpp::HRESULT Initialize() = 0;                                       // 7
    virtual sysapicpp::HRESULT Uninitialize() = 0;                                     // 8
    virtual sysapicpp::HRESULT GetAllItemProperties(IcxSysPropertyBagCollection* bags) = 0;  // 9
    virtual sysapicpp::HRESULT EnumItemNames(IcxSysEnumStringList** names) = 0;        // 10
    virtual sysapicpp::HRESULT GetItemProperties(const wchar_t* itemName,
                                                 IcxSysPropertyBag** bag) = 0;         // 11
    virtual sysapicpp::HRESULT GetItemPropertiesByTag(const wchar_t* itemName, uint32_t tagCount,
                                                      const uint32_t* tags, int32_t allowPending,
                                                      IcxSysPropertyBag** bag) = 0;    // 12
    // Not supported by any expert of this system; kept for the slot.
    virtual sysapicpp::HRESULT Unsupported() = 0;                                      // 13
    virtual sysapicpp::HRESULT RenameAlias(const wchar_t* itemName, const wchar_t* newAlias,
                                           int32_t flag, int32_t* hasMessage,
                                           wchar_t** message) = 0;                     // 14
    // message is optional.
    virtual sysapicpp::HRESULT ValidateItemProperties(const wchar_t* itemName,
                                                      IcxSysPropertyBag* bag,
                                                      IcxSysEnumPropertyTag** acceptedTags,
                                                      wchar_t** message) = 0;          // 15
    virtual sysapicpp::HRESULT SetItemProperties(const wchar_t* itemName, IcxSysPropertyBag* bag,
                                                 int32_t* flag) = 0;                   // 16

protected:
    ~IcxSysExpert() = default;
};

// The host's table of the second version carries a destructor pair at 17-18 and repeats
// the diagnostic and plug-and-play operations, so one implementation serves all tables.
class IcxSysExpert2 : public IcxSysExpert {
public:
    virtual ~IcxSysExpert2() = default;                                                // 17, 18
    virtual sysapicpp::HRESULT ResetDevice(const wchar_t* itemName, int32_t mode) = 0; // 19
    virtual sysapicpp::HRESULT SelfTest(const wchar_t* itemName, int32_t mode,
                                        wchar_t** message) = 0;                        // 20
    virtual sysapicpp::HRESULT SelfCalibrate(const wchar_t* itemName, wchar_t** message) = 0;  // 21
    virtual sysapicpp::HRESULT ResetDevice2(const wchar_t* itemName, int32_t mode, int32_t* flag,
                                            wchar_t** message) = 0;                    // 22
    virtual sysapicpp::HRESULT SetNotificationSink(IcxSysNotificationSink* sink) = 0;  // 23
    // message is optional.
    virtual sysapicpp::HRESULT SetItemProperties2(const wchar_t* itemName, IcxSysPropertyBag* bag,
                                                  int32_t* flag, wchar_t** message) = 0;  // 24
    virtual sysapicpp::HRESULT ObjectHook() = 0;                                       // 25
};

class IcxSysExpertPlugPlay : public IUnknown {
public:
    virtual sysapicpp::HRESULT SetNotificationSink(IcxSysNotificationSink* sink) = 0;  // 3

protected:
    ~IcxSysExpertPlugPlay() = default;
};

class IcxSysExpertDiagnostic : public IUnknown {
public:
    virtual sysapicpp::HRESULT ResetDevice(const wchar_t* itemName, int32_t mode) = 0; // 3
    virtual sysapicpp::HRESULT SelfTest(const wchar_t* itemName, int32_t mode,
                                        wchar_t** message) = 0;                        // 4
    virtual sysapicpp::HRESULT SelfCalibrate(const wchar_t* itemName, wchar_t** message) = 0;  // 5

protected:
    ~IcxSysExpertDiagnostic() = default;
};

class IcxSysExpertDiagnostic2 : public IcxSysExpertDiagnostic {
public:
    virtual sysapicpp::HRESULT ResetDevice2(const wchar_t* itemName, int32_t mode, int32_t* flag,
                                            wchar_t** message) = 0;                    // 6

protected:
    ~IcxSysExpertDiagnostic2() = default;
};
