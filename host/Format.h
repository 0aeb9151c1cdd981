// SPDX-License-Identifier: MIT
#pragma once
// How qxhost names and writes properties: tag names, type names, GUID and timestamp text,
// and the escaping and quoting of text in its text output.

#include <cstdint>
#include <string>
#include <string_view>

#include "host/Catalog.h"
#include "sysapicpp/HostInterfaces.h"

namespace qxhost {

// The readable name of a tag on a board or a port item, or "" when the tag has none.
std::string tagName(uint32_t tag, ItemKind kind);
// "0x0C005000"
std::string tagHex(uint32_t tag);
// "bool", "int32", "uint32", "double", "guid", "string", "timestamp", or "type N".
std::string typeName(int32_t type);
std::string guidText(const GUID& guid);
std::string timestampText(const cxSysAttrTimestampUTC& time);

// Text from a file, a board, the plug-in or a program, made safe for a terminal: C0 controls
// but tab, DEL, C1 controls and bytes that are not UTF-8 become \xHH, a byte each.
std::string visible(std::string_view text);
// The text in double quotes, '"' and '\\' escaped with a backslash, the rest as visible().
std::string quotedString(std::string_view text);
// The text as it is when it is a plain word, else as quotedString().
std::string quoted(const std::string& text);

}  // namespace qxhost
