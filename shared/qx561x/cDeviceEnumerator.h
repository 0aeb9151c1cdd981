// SPDX-License-Identifier: MIT
#pragma once
// Finds the family's boards: driver directories of our vendor and a known model, each
// matched to its directory in the kernel's device tree, through the kernel's index of
// functions by address where it answers, by a walk of the tree where it does not.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shared/qx561x/iDeviceEnumerator.h"
#include "shared/qx561x/iDeviceIteratorFactory.h"

namespace qx561x {

class cDeviceEnumerator : public iDeviceEnumerator {
public:
    // Throws qxerr::Exception (qxapalerr_invalidParameter) for a null factory. indexPath:
    // a directory of links named by address (/sys/bus/pci/devices); empty: walk only.
    cDeviceEnumerator(std::unique_ptr<iDeviceIteratorFactory> iteratorFactory,
                      const std::string& rootPath, const std::string& indexPath = {});
    cDeviceEnumerator(const cDeviceEnumerator&) = delete;
    cDeviceEnumerator& operator=(const cDeviceEnumerator&) = delete;

    // One path per matching directory below the root, in driver-directory order. A board
    // that cannot be read or walked contributes what was found before the failure.
    std::vector<std::string> enumerateDevices() override;

private:
    struct Board {
        std::string address;
        std::vector<std::string> directories;
    };
    // False for a board of another maker or an unknown model; throws when it cannot be read.
    bool acceptedAddress(iDeviceIterator& iterator, std::string& address) const;
    // The board's directory as the walk names it, when the index gives one the walk finds.
    bool findIndexed(const std::string& canonicalRoot, Board& board) const;
    void findBoardDirectories(std::vector<Board*>& boards) const;

    int32_t vendorId_;
    std::unique_ptr<iDeviceIteratorFactory> iteratorFactory_;
    std::string rootPath_;
    std::string indexPath_;
};

}  // namespace qx561x
