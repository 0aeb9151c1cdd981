// SPDX-License-Identifier: MIT
#pragma once
// The names under which the host knows boards and ports: "device:" or "port:" followed by
// the escaped device path or port name. Escaping keeps ":" out of the identifier part.

#include <string>

namespace qx561xsae {

// Prefix + escaped identifier; ItemNotExistException for an empty identifier.
std::string makeDeviceName(const std::string& devicePath);
std::string makePortName(const std::string& portName);

// The unescaped identifier; ItemNotExistException when the name lacks the prefix or has
// nothing after it.
std::string deviceIdFromName(const std::string& itemName);
std::string portIdFromName(const std::string& itemName);

// Whether the name has the prefix and something after it.
bool isDeviceName(const std::string& itemName);
bool isPortName(const std::string& itemName);

// "|" -> "|7C", then ":" -> "|3A"; unescaping reverses the two steps in reverse order.
std::string escapeIdentifier(const std::string& identifier);
std::string unescapeIdentifier(const std::string& escaped);

}  // namespace qx561xsae
