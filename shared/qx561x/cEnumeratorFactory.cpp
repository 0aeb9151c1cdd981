// SPDX-License-Identifier: MIT
#include "shared/qx561x/cEnumeratorFactory.h"

#include "shared/qx561x/cDeviceEnumerator.h"
#include "shared/qx561x/cDeviceIteratorFactory.h"
#include "shared/qx561x/cPortEnumerator.h"

namespace qx561x {
namespace {

constexpr const char kDeviceTreeRoot[] = "/sys/devices";
// The kernel's links from PCI addresses to their functions' directories in the tree.
constexpr const char kPciIndex[] = "/sys/bus/pci/devices";

}  // namespace

std::unique_ptr<iDeviceEnumerator> cEnumeratorFactory::createDeviceEnumerator() {
    return std::make_unique<cDeviceEnumerator>(std::make_unique<cDeviceIteratorFactory>(),
                                               kDeviceTreeRoot, kPciIndex);
}

std::unique_ptr<iPortEnumerator> cEnumeratorFactory::createPortEnumerator() {
    return std::make_unique<cPortEnumerator>(kDeviceTreeRoot);
}

}  // namespace qx561x
