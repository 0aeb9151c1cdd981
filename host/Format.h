// SPDX-License-Identifier: MIT
#pragma once
// How qxhost prints properties: tag names, type names, values, quoting and JSON text.

#include <cstdint>
#include <string>

#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace qxhost {

// The readable name of a tag on a board or a port item, or "" when the tag has none.
std::string tagName(uint32_t tag, bool port);
// "0x0C005000"
std::string tagHex(uint32_t tag);
// "bool", "int32", "uint32", "double", "guid", "string", "timestamp", or "type N".
std::string typeName(int32_t type);

// A property's value as text and as a JSON value.
std::string valueText(const sysapicpp::PropertyBagHandle& bag, uint32_t tag);
std::string valueJson(const sysapicpp::PropertyBagHandle& bag, uint32_t tag);

// A JSON string literal, quotes included.
std::string jsonString(const std::string& text);
// The text as it is when it is a plain word, else as a JSON string literal.
std::string quoted(const std::string& text);

}  // namespace qxhost
