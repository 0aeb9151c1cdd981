// SPDX-License-Identifier: MIT
#include "qx561xsae/ItemNames.h"

#include "platform/qxerr/Status.h"
#include "sysapicpp/HResultException.h"

namespace qx561xsae {
namespace {

constexpr char kModule[] = "qx561xsae/ItemNames";
constexpr int32_t kEmptyDeviceId = 45;
constexpr int32_t kNotDeviceName = 56;
constexpr int32_t kEmptyDeviceName = 61;
constexpr int32_t kEmptyPortId = 72;
constexpr int32_t kNotPortName = 83;
constexpr int32_t kEmptyPortName = 88;

constexpr char kSeparator[] = ":";

const std::string& devicePrefix() {
    static const std::string prefix = std::string("device") + kSeparator;
    return prefix;
}

const std::string& portPrefix() {
    static const std::string prefix = std::string("port") + kSeparator;
    return prefix;
}

[[noreturn]] void raiseNotExist(int32_t line) {
    throw sysapicpp::ItemNotExistException(kModule, line);
}

std::string replaceAll(const std::string& text, const std::string& from, const std::string& to) {
    std::string result;
    result.reserve(text.size());
    std::string::size_type start = 0;
    for (auto found = text.find(from); found != std::string::npos;
         found = text.find(from, start)) {
        result.append(text, start, found - start).append(to);
        start = found + from.size();
    }
    return result.append(text, start, std::string::npos);
}

std::string makeName(const std::string& prefix, const std::string& identifier, int32_t emptyLine) {
    if (identifier.empty()) raiseNotExist(emptyLine);
    return prefix + escapeIdentifier(identifier);
}

bool hasPrefix(const std::string& name, const std::string& prefix) {
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0;
}

std::string idFromName(const std::string& name, const std::string& prefix, int32_t wrongLine,
                       int32_t emptyLine) {
    if (name.compare(0, prefix.size(), prefix) != 0) raiseNotExist(wrongLine);
    if (name.size() == prefix.size()) raiseNotExist(emptyLine);
    return unescapeIdentifier(name.substr(prefix.size()));
}

}  // namespace

std::string escapeIdentifier(const std::string& identifier) {
    return replaceAll(replaceAll(identifier, "|", "|7C"), ":", "|3A");
}

std::string unescapeIdentifier(const std::string& escaped) {
    return replaceAll(replaceAll(escaped, "|3A", ":"), "|7C", "|");
}

std::string makeDeviceName(const std::string& devicePath) {
    return makeName(devicePrefix(), devicePath, kEmptyDeviceId);
}

std::string makePortName(const std::string& portName) {
    return makeName(portPrefix(), portName, kEmptyPortId);
}

std::string deviceIdFromName(const std::string& itemName) {
    return idFromName(itemName, devicePrefix(), kNotDeviceName, kEmptyDeviceName);
}

std::string portIdFromName(const std::string& itemName) {
    return idFromName(itemName, portPrefix(), kNotPortName, kEmptyPortName);
}

bool isDeviceName(const std::string& itemName) { return hasPrefix(itemName, devicePrefix()); }
bool isPortName(const std::string& itemName) { return hasPrefix(itemName, portPrefix()); }

}  // namespace qx561xsae
