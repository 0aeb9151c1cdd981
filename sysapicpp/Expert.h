// SPDX-License-Identifier: MIT
#pragma once
// What the expert adapter calls. The adapter reaches the operations by slot, so the
// declaration order is the slot order and must not change.

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "sysapicpp/HResult.h"
#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace sysapicpp {

// Strings are UTF-8; bags are counted references owned by the receiver.
class ExpertInfo {
public:
    virtual GUID getExpertId() = 0;                                                   // 0
    virtual std::string getExpertName() = 0;                                          // 1
    virtual std::string getExpertVersion() = 0;                                       // 2
    virtual std::string getExpertCategory() = 0;                                      // 3
    virtual ~ExpertInfo() = default;                                                  // 4, 5
};

class Expert : public ExpertInfo {
public:
    virtual std::vector<std::string> enumerateItemNames() = 0;                        // 6
    virtual std::vector<PropertyBagHandle> getAllItemProperties() = 0;                // 7
    virtual PropertyBagHandle getPropertiesOfItem(const std::string& name) = 0;       // 8
    virtual PropertyBagHandle getPropertiesOfItemByTags(const std::string& name,
                                                        const std::vector<uint32_t>& tags,
                                                        bool allowPending) = 0;        // 9
    // The host's unsupported slot; raises NotImplException.
    virtual void unsupportedOperation() = 0;                                          // 10
    virtual void renameAlias(const std::string& name, const std::string& alias, bool flag,
                             std::string& message) = 0;                               // 11
    virtual void validatePropertiesOfItem(const std::string& name, IcxSysPropertyBag4* bag,
                                          std::set<uint32_t>& accepted,
                                          std::string& message) = 0;                  // 12
    virtual void setPropertiesOfItem(const std::string& name, IcxSysPropertyBag4* bag,
                                     bool& flag, std::string& message) = 0;           // 13
    virtual void performDeviceReset(const std::string& name, int32_t mode, bool& flag,
                                    std::string& message) = 0;                        // 14
    virtual void diagnosticSelfTest(const std::string& name, int32_t mode,
                                    std::string& message) = 0;                        // 15
    virtual void diagnosticSelfCalibrate(const std::string& name, std::string& message) = 0;  // 16
    // Called inside a catch handler: rethrows the exception being handled and returns the
    // host code for what it recognises; anything else leaves this call. message (may be
    // null) receives the expert's text for the host.
    virtual HRESULT translateException(std::string* message) = 0;                     // 17
};

}  // namespace sysapicpp
