// SPDX-License-Identifier: MIT
#pragma once
// What qxhost reads of the machine itself, beside the plug-in: the driver's directories,
// the device tree and the configuration files. The plug-in stays the judge of items and
// values; these readings only explain what it reports.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "host/CommandLine.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace qxhost {

// The board's slot as the driver publishes it; nothing when it cannot be read.
std::optional<std::string> slotPath(const std::string& address);

// Whether the boards' driver has its directory under /proc.
bool driverLoaded();

// Whether anything stands at the path (a board's or port's device-tree path).
bool present(const std::string& path);

// Which directory stands at a board's path: one made anew (the board unplugged and plugged
// again) differs from the one before. Nothing while none stands there.
struct DirectoryStamp {
    uint64_t device = 0, inode = 0;
    int64_t changedSeconds = 0, changedNanoseconds = 0;  // a number can be reused, not with its time
    bool operator==(const DirectoryStamp& other) const {
        return device == other.device && inode == other.inode && changedSeconds == other.changedSeconds &&
               changedNanoseconds == other.changedNanoseconds;
    }
};
std::optional<DirectoryStamp> directoryStamp(const std::string& path);

// A set failed without a message: what stood in the way, as far as qxhost can see it;
// nothing when it sees nothing.
std::optional<std::string> whySetFailed(const std::string& portPath, const sysapicpp::PropertyBagHandle& port,
                                        const std::vector<Setting>& settings, const std::string& node);

}  // namespace qxhost
