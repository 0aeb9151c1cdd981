// SPDX-License-Identifier: MIT
#include "qx561xsae/cSerialPortItem.h"

#include <utility>

#include "shared/qx561x/PortSettings.h"
#include "shared/qx561x/cIniDataStore.h"
#include "sysapicpp/HResultException.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qx561xsae {
namespace {

using namespace sysapicpp;

constexpr char kModule[] = "qx561xsae/cSerialPortItem";
constexpr int32_t kValidateRxRefused = 79;
constexpr int32_t kValidateTxRefused = 89;
constexpr int32_t kValidateModeRefused = 106;
constexpr int32_t kApplyRxRefused = 135;
constexpr int32_t kApplyTxRefused = 146;
constexpr int32_t kApplyModeRefused = 165;

constexpr uint32_t kPortItemKind = 5;

using qx561x::cIniDataStore;

// Where each writable setting is checked and stored.
struct tSetting {
    const char* key;  // in the configuration file
    uint32_t tag;
    uint32_t minTag;  // 0: the bounds are the model's modes
    uint32_t maxTag;
    int32_t validateLine;
    int32_t applyLine;
    uint32_t tPortInfo::*field;
};

constexpr tSetting kSettings[] = {
    {cIniDataStore::kFifoRxDepthKey, RxFifoDepth, RxFifoDepthMin, RxFifoDepthMax,
     kValidateRxRefused, kApplyRxRefused, &tPortInfo::rxFifoDepth},
    {cIniDataStore::kFifoTxDepthKey, TxFifoDepth, TxFifoDepthMin, TxFifoDepthMax,
     kValidateTxRefused, kApplyTxRefused, &tPortInfo::txFifoDepth},
    {cIniDataStore::kRs485TransceiverModeKey, Rs485TransceiverMode, 0, 0, kValidateModeRefused,
     kApplyModeRefused, &tPortInfo::rs485TransceiverMode},
};

const tSetting* findSetting(uint32_t tag) {
    for (const tSetting& setting : kSettings)
        if (setting.tag == tag) return &setting;
    return nullptr;
}

// Why value is out of the setting's bounds; empty when it is within them.
std::string refusal(const tSetting& setting, const tBagAccessor& bounds, uint32_t value) {
    if (setting.minTag == 0) {
        if (qx561x::findRs485Mode(value)) return {};
        return "not an RS-485 transceiver mode (" + std::to_string(qx561x::kLowestRs485Mode) + ".." +
               std::to_string(qx561x::kHighestRs485Mode) + ")";
    }
    const uint32_t min = bounds.getUInt32(setting.minTag);
    const uint32_t max = bounds.getUInt32(setting.maxTag);
    if (value >= min && value <= max) return {};
    return "outside " + std::to_string(min) + ".." + std::to_string(max);
}

// The host's value of the setting, refused, and said so in the system log, when outside
// the port's bounds.
uint32_t checkedValue(const tSetting& setting, const PropertyBagHandle& hostBag,
                      const tBagAccessor& port, const std::string& itemName, bool checkOnly,
                      iSerialDataStore& dataStore) {
    const uint32_t value = hostBag.getUInt32(setting.tag);
    std::string reason = refusal(setting, port, value);
    if (reason.empty()) return value;
    dataStore.logRefusal(
        {itemName, port.getString(PortNode), setting.key, value, std::move(reason), checkOnly});
    throw ValidationValueException(kModule, checkOnly ? setting.validateLine : setting.applyLine);
}

}  // namespace

cSerialPortItem::cSerialPortItem(const std::string& name, iSerialDataStore* dataStore)
    : cSerialItem(name, dataStore) {
    updateProperties();
}

void cSerialPortItem::updateProperties() { fill(dataStore->getPortInfo(name)); }

void cSerialPortItem::validateProperties(IcxSysPropertyBag4* hostBag,
                                         const std::vector<uint32_t>& tags,
                                         std::set<uint32_t>& accepted, std::string&) {
    const PropertyBagHandle host(hostBag);
    qxapal::CqxCSLock guard(lock);
    for (uint32_t tag : tags) {
        const tSetting* setting = findSetting(tag);
        if (!setting) continue;
        checkedValue(*setting, host, bag, name, true, *dataStore);
        accepted.insert(tag);
    }
}

void cSerialPortItem::applyProperties(IcxSysPropertyBag4* hostBag,
                                      const std::vector<uint32_t>& tags, bool&, std::string&) {
    tPortInfo info = dataStore->getPortInfo(name);
    const PropertyBagHandle host(hostBag);
    qxapal::CqxCSLock guard(lock);
    for (uint32_t tag : tags) {
        const tSetting* setting = findSetting(tag);
        if (!setting) continue;
        const uint32_t value = checkedValue(*setting, host, bag, name, false, *dataStore);
        bag.setUInt32(tag, value);
        info.*(setting->field) = value;
    }
    // Under the lock: other requests for this port wait until the hardware has followed.
    dataStore->savePortConfiguration(name, info);
}

void cSerialPortItem::fill(const tPortInfo& info) {
    qxapal::CqxCSLock guard(lock);
    fillCommon();
    bag.setInt32(Tag0102A000, -1);
    bag.setString(VendorName, "");
    bag.setString(ModelName, "");
    bag.setString(SerialNumber, "");
    bag.setUInt32(Tag01002000, kPortItemKind);
    bag.setBool(Tag01008000, false);
    bag.setString(ParentDevice, info.parentDeviceName);
    bag.setInt32(PortNumber, static_cast<int32_t>(info.portNumber));
    bag.setString(Name, name);
    bag.setString(Description, info.portDevicePath);
    bag.setSerialSettingsPresent(true);
    bag.setString(PortNode, info.portDevicePath);
    bag.setRxFifoDepthMin(info.rxFifoDepthMin);
    bag.setRxFifoDepthMax(info.rxFifoDepthMax);
    bag.setRxFifoDepthDefault(info.rxFifoDepthDefault);
    bag.setRxFifoDepth(info.rxFifoDepth);
    bag.setTxFifoDepthMin(info.txFifoDepthMin);
    bag.setTxFifoDepthMax(info.txFifoDepthMax);
    bag.setTxFifoDepthDefault(info.txFifoDepthDefault);
    bag.setTxFifoDepth(info.txFifoDepth);
    bag.setIsRs232(info.isRs232);
    if (!info.isRs232) bag.setRs485TransceiverMode(info.rs485TransceiverMode);
    loaded = true;
    filled = true;
}

}  // namespace qx561xsae
