// SPDX-License-Identifier: MIT
#pragma once
// Lists a board's port names in port-index order.

#include <string>
#include <vector>

namespace qx561x {

class iPortEnumerator {
public:
    virtual ~iPortEnumerator() = default;

    // Never throws: any failure yields an empty list.
    virtual std::vector<std::string> enumeratePorts(const std::string& devicePath) = 0;
};

}  // namespace qx561x
