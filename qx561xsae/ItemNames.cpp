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

// One pass each way, copying the runs between marks: a listing names every board and port,
// and reads each name back. Both append to a name or identifier begun by the caller, so
// that a prefix costs no second string.
void appendEscaped(std::string& escaped, const std::string& identifier) {
    std::size_t start = 0;
    for (std::size_t mark = 0; mark < identifier.size(); ++mark) {
        const char c = identifier[mark];
        if (c != '|' && c != ':') continue;
        escaped.append(identifier, start, mark - start).append(c == '|' ? "|7C" : "|3A");
        start = mark + 1;
    }
    escaped.append(identifier, start, std::string::npos);
}

// Unescapes escaped from position from on.
void appendUnescaped(std::string& identifier, const std::string& escaped, std::size_t from) {
    std::size_t start = from;
    for (auto mark = escaped.find('|', start); mark != std::string::npos;
         mark = escaped.find('|', start)) {
        identifier.append(escaped, start, mark - start);
        start = mark + 1;
        if (escaped.compare(mark, 3, "|3A") == 0) {
            identifier += ':';
            start = mark + 3;
        } else if (escaped.compare(mark, 3, "|7C") == 0) {
            identifier += '|';
            start = mark + 3;
        } else {
            identifier += '|';
        }
    }
    identifier.append(escaped, start, std::string::npos);
}

// Room for the usual few marks of a device-tree path.
constexpr std::size_t kMarksRoom = 16;

std::string makeName(const std::string& prefix, const std::string& identifier, int32_t emptyLine) {
    if (identifier.empty()) raiseNotExist(emptyLine);
    std::string name;
    name.reserve(prefix.size() + identifier.size() + kMarksRoom);
    name += prefix;
    appendEscaped(name, identifier);
    return name;
}

bool hasPrefix(const std::string& name, const std::string& prefix) {
    return name.size() > prefix.size() && name.compare(0, prefix.size(), prefix) == 0;
}

std::string idFromName(const std::string& name, const std::string& prefix, int32_t wrongLine,
                       int32_t emptyLine) {
    if (name.compare(0, prefix.size(), prefix) != 0) raiseNotExist(wrongLine);
    if (name.size() == prefix.size()) raiseNotExist(emptyLine);
    std::string identifier;
    identifier.reserve(name.size() - prefix.size());
    appendUnescaped(identifier, name, prefix.size());
    return identifier;
}

}  // namespace

std::string escapeIdentifier(const std::string& identifier) {
    std::string escaped;
    escaped.reserve(identifier.size() + kMarksRoom);
    appendEscaped(escaped, identifier);
    return escaped;
}

std::string unescapeIdentifier(const std::string& escaped) {
    std::string identifier;
    identifier.reserve(escaped.size());
    appendUnescaped(identifier, escaped, 0);
    return identifier;
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
