// SPDX-License-Identifier: MIT
#include "host/Format.h"

#include <cstdio>
#include <map>

#include "platform/qx/dsc/Utf8.h"
#include "sysapicpp/propbag/CcxPropertyValue.h"
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

// The length of the valid UTF-8 sequence that starts at text[at], or 0.
std::size_t sequenceAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80 ? 1 : lead >> 5 == 0x6 ? 2 : lead >> 4 == 0xE ? 3 : lead >> 3 == 0x1E ? 4 : 0;
    if (length == 0 || text.size() - at < length) return 0;
    return qx::dsc::isValidUtf8(text.substr(at, length)) ? length : 0;
}

bool isControl(std::string_view sequence) {
    const auto first = static_cast<unsigned char>(sequence[0]);
    if (sequence.size() == 1) return (first < 0x20 && first != '\t') || first == 0x7F;
    // U+0080..U+009F
    return sequence.size() == 2 && first == 0xC2 && static_cast<unsigned char>(sequence[1]) < 0xA0;
}

void appendEscaped(std::string& out, std::string_view bytes) {
    static const char kDigits[] = "0123456789abcdef";
    for (unsigned char byte : bytes) {
        const char escaped[] = {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xF]};
        out.append(escaped, sizeof escaped);
    }
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
    static const std::map<int32_t, const char*> kNames = {
        {kPropertyTypeBool, "bool"},         {kPropertyTypeInt32, "int32"},   {kPropertyTypeUInt32, "uint32"},
        {kPropertyTypeDouble, "double"},     {kPropertyTypeGuid, "guid"},     {kPropertyTypeString, "string"},
        {kPropertyTypeTimestamp, "timestamp"},
    };
    const auto found = kNames.find(type);
    return found != kNames.end() ? found->second : "type " + std::to_string(type);
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

std::string visible(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t length = sequenceAt(text, at);
        const std::string_view sequence = text.substr(at, length == 0 ? 1 : length);
        if (length == 0 || isControl(sequence)) appendEscaped(out, sequence);
        else out += sequence;
        at += sequence.size();
    }
    return out;
}

std::string quotedString(std::string_view text) {
    std::string out = "\"";
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t mark = text.find_first_of("\"\\", start);
        out += visible(text.substr(start, mark == std::string_view::npos ? std::string_view::npos : mark - start));
        if (mark == std::string_view::npos) break;
        out += '\\';
        out += text[mark];
        start = mark + 1;
    }
    return out + "\"";
}

std::string quoted(const std::string& text) {
    std::string shown = visible(text);
    // A word stays unquoted when nothing in it was escaped and nothing would split it.
    const bool plain = !text.empty() && shown.size() == text.size() &&
                       text.find_first_of(" \t\"\\=") == std::string::npos;
    return plain ? shown : quotedString(text);
}

}  // namespace qxhost
