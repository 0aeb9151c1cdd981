// SPDX-License-Identifier: MIT
#include "host/Format.h"

#include <cstdio>
#include <map>

#include <nlohmann/json.hpp>

#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace qxhost {
namespace {

using namespace sysapicpp;

// Names follow what the items publish under each tag; the other tags are shown by number.
const std::map<uint32_t, const char*> kCommonNames = {
    {ItemGuid, "ItemGuid"},
    {Name, "Name"},
};

const std::map<uint32_t, const char*> kBoardNames = {
    {VendorId, "VendorId"},
    {VendorName, "VendorName"},
    {PciDeviceId, "PciDeviceId"},
    {ModelName, "ModelName"},
    {SerialNumber, "SerialNumber"},
    {PortCount, "PortCount"},
    {PciBusNumber, "PciBusNumber"},
    {PciDeviceNumber, "PciDeviceNumber"},
    {PciFunctionNumber, "PciFunctionNumber"},
    {Description, "Description"},
    {ItemName, "ItemName"},
};

const std::map<uint32_t, const char*> kPortNames = {
    {ParentDevice, "ParentDevice"},
    {PortNumber, "PortNumber"},
    {Description, "PortNode"},
    {PortNode, "PortNode"},
    {SerialSettingsPresent, "SerialSettingsPresent"},
    {RxFifoDepthMin, "RxFifoDepthMin"},
    {RxFifoDepthMax, "RxFifoDepthMax"},
    {RxFifoDepthDefault, "RxFifoDepthDefault"},
    {RxFifoDepth, "RxFifoDepth"},
    {TxFifoDepthMin, "TxFifoDepthMin"},
    {TxFifoDepthMax, "TxFifoDepthMax"},
    {TxFifoDepthDefault, "TxFifoDepthDefault"},
    {TxFifoDepth, "TxFifoDepth"},
    {IsRs232, "IsRs232"},
    {Rs485TransceiverMode, "Rs485TransceiverMode"},
};

bool isPlainWord(const std::string& text) {
    if (text.empty()) return false;
    for (unsigned char c : text)
        if (c <= ' ' || c == '"' || c == '\\' || c == '=' || c == 0x7F) return false;
    return true;
}

}  // namespace

std::string tagName(uint32_t tag, ItemKind kind) {
    const auto& names = kind == ItemKind::Port ? kPortNames : kBoardNames;
    for (const auto* table : {&names, &kCommonNames}) {
        const auto found = table->find(tag);
        if (found != table->end()) return found->second;
    }
    return "";
}

std::string tagHex(uint32_t tag) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", tag);
    return text;
}

std::string typeName(int32_t type) {
    static const char* const kNames[] = {"bool", "int32", "uint32", "double",
                                         "guid", "string", "timestamp"};
    if (type >= 1 && type <= 7) return kNames[type - 1];
    return "type " + std::to_string(type);
}

std::string guidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

std::string timestampText(const cxSysAttrTimestampUTC& t) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld+%llu/2^64", static_cast<long long>(t.seconds),
                  static_cast<unsigned long long>(t.fraction));
    return text;
}

std::string jsonString(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string quoted(const std::string& text) { return isPlainWord(text) ? text : jsonString(text); }

}  // namespace qxhost
