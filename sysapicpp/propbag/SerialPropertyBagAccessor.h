// SPDX-License-Identifier: MIT
#pragma once
// The serial settings of a port by name.

#include <cstdint>

#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace sysapicpp {

enum SerialPropertyTag : uint32_t {
    SerialSettingsPresent = 0x0C001000,
    RxFifoDepthMin = 0x0C002000,
    RxFifoDepthMax = 0x0C003000,
    RxFifoDepthDefault = 0x0C004000,
    RxFifoDepth = 0x0C005000,
    TxFifoDepthMin = 0x0C006000,
    TxFifoDepthMax = 0x0C007000,
    TxFifoDepthDefault = 0x0C008000,
    TxFifoDepth = 0x0C009000,
    IsRs232 = 0x0C00A000,
    Rs485TransceiverMode = 0x0C00B000,
};

class SerialPropertyBagAccessor : public virtual PropertyBagHandle {
public:
    SerialPropertyBagAccessor() = default;
    explicit SerialPropertyBagAccessor(IcxSysPropertyBag4* bag) : PropertyBagHandle(bag) {}

    bool getSerialSettingsPresent() const { return getBool(SerialSettingsPresent); }
    void setSerialSettingsPresent(bool value) const { setBool(SerialSettingsPresent, value); }

    uint32_t getRxFifoDepthMin() const { return getUInt32(RxFifoDepthMin); }
    uint32_t getRxFifoDepthMax() const { return getUInt32(RxFifoDepthMax); }
    uint32_t getRxFifoDepthDefault() const { return getUInt32(RxFifoDepthDefault); }
    uint32_t getRxFifoDepth() const { return getUInt32(RxFifoDepth); }
    void setRxFifoDepthMin(uint32_t value) const { setUInt32(RxFifoDepthMin, value); }
    void setRxFifoDepthMax(uint32_t value) const { setUInt32(RxFifoDepthMax, value); }
    void setRxFifoDepthDefault(uint32_t value) const { setUInt32(RxFifoDepthDefault, value); }
    void setRxFifoDepth(uint32_t value) const { setUInt32(RxFifoDepth, value); }

    uint32_t getTxFifoDepthMin() const { return getUInt32(TxFifoDepthMin); }
    uint32_t getTxFifoDepthMax() const { return getUInt32(TxFifoDepthMax); }
    uint32_t getTxFifoDepthDefault() const { return getUInt32(TxFifoDepthDefault); }
    uint32_t getTxFifoDepth() const { return getUInt32(TxFifoDepth); }
    void setTxFifoDepthMin(uint32_t value) const { setUInt32(TxFifoDepthMin, value); }
    void setTxFifoDepthMax(uint32_t value) const { setUInt32(TxFifoDepthMax, value); }
    void setTxFifoDepthDefault(uint32_t value) const { setUInt32(TxFifoDepthDefault, value); }
    void setTxFifoDepth(uint32_t value) const { setUInt32(TxFifoDepth, value); }

    bool getIsRs232() const { return getBool(IsRs232); }
    void setIsRs232(bool value) const { setBool(IsRs232, value); }
    uint32_t getRs485TransceiverMode() const { return getUInt32(Rs485TransceiverMode); }
    void setRs485TransceiverMode(uint32_t value) const { setUInt32(Rs485TransceiverMode, value); }
};

}  // namespace sysapicpp
