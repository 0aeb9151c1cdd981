// SPDX-License-Identifier: MIT
#pragma once
// Lists the tty entries of one board's ports, ordered by their numeric index.

#include <string>
#include <vector>

#include "shared/qx561x/iPortEnumerator.h"

namespace qx561x {

class cPortEnumerator : public iPortEnumerator {
public:
    explicit cPortEnumerator(const std::string& rootPath) : rootPath_(rootPath) {}
    cPortEnumerator(const cPortEnumerator&) = delete;
    cPortEnumerator& operator=(const cPortEnumerator&) = delete;

    // Every entry below the board directory whose name contains "ttyQX561xPort". A board
    // that cannot be walked completely yields an empty list: a partial list would
    // renumber the ports.
    std::vector<std::string> enumeratePorts(const std::string& devicePath) override;

private:
    std::string rootPath_;
};

}  // namespace qx561x
