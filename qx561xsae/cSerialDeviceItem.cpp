// SPDX-License-Identifier: MIT
#include "qx561xsae/cSerialDeviceItem.h"

#include "shared/qx561x/ProductTable.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qx561xsae {
namespace {

using namespace sysapicpp;

constexpr char kVendorName[] = "Qorvex";
constexpr uint32_t kDeviceItemKind = 1;

}  // namespace

cSerialDeviceItem::cSerialDeviceItem(const std::string& name, iSerialDataStore* dataStore)
    : cSerialItem(name, dataStore) {
    fill(dataStore->getDeviceInfo(name));
}

void cSerialDeviceItem::updateProperties() {
    if (loaded) return;
    fill(dataStore->getDeviceInfo(name));
}

void cSerialDeviceItem::validateProperties(IcxSysPropertyBag4*, const std::vector<uint32_t>&,
                                           std::set<uint32_t>&, std::string&) {}

void cSerialDeviceItem::applyProperties(IcxSysPropertyBag4*, const std::vector<uint32_t>&, bool&,
                                        std::string&) {}

void cSerialDeviceItem::fill(const tDeviceInfo& info) {
    qxapal::CqxCSLock guard(lock);
    fillCommon();
    bag.setUInt32(Tag01073000, 1);
    bag.setUInt32(Tag01002000, kDeviceItemKind);
    bag.setUInt32(Tag0107A000, 0);
    bag.setInt32(Tag01048000, 1);
    // Express boards report 1 here, the others -1; other bus types nothing.
    switch (info.busType) {
    case qx561x::kBusPxi:
    case qx561x::kBusPci:
        bag.setInt32(Tag01030000, -1);
        bag.setInt32(Tag01031000, -1);
        break;
    case qx561x::kBusPxiExpress:
    case qx561x::kBusPciExpress:
        bag.setInt32(Tag01030000, 1);
        bag.setInt32(Tag01031000, 1);
        break;
    default:
        break;
    }
    bag.setInt32(Tag01078000, -1);
    bag.setInt32(Tag01079000, -1);
    bag.setInt32(Tag0103B000, 1);
    bag.setInt32(PortNumber, -1);
    bag.setString(ParentDevice, "");
    bag.setBool(Tag01008000, true);
    bag.setString(VendorName, kVendorName);
    bag.setUInt32(VendorId, qx561x::kPciVendorId);
    bag.setUInt32(Tag01086000, 0);
    bag.setString(Tag01075000, "");
    bag.setString(SerialNumber, info.serialNumber);
    bag.setString(ItemName, info.itemName);
    bag.setUInt32(Tag01026000, 5);
    bag.setInt32(Tag0102A000, 1000);
    bag.setString(ModelName, info.modelName);
    bag.setUInt32(PciDeviceId, info.pciDeviceId);
    bag.setUInt32(PciBusNumber, info.pciBusNumber);
    bag.setUInt32(PciDeviceNumber, info.pciDeviceNumber);
    bag.setUInt32(PciFunctionNumber, info.pciFunctionNumber);
    bag.setInt32(PortCount, info.portCount);
    bag.setString(Description, info.description);
    bag.setString(Name, info.itemName);
    loaded = true;
    filled = true;
}

}  // namespace qx561xsae
