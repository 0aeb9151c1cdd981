// SPDX-License-Identifier: MIT
#pragma once
// Lists the device paths of the installed boards.

#include <string>
#include <vector>

namespace qx561x {

class iDeviceEnumerator {
public:
    virtual ~iDeviceEnumerator() = default;

    virtual std::vector<std::string> enumerateDevices() = 0;
};

}  // namespace qx561x
