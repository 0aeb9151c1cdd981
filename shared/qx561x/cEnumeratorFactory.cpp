// SPDX-License-Identifier: MIT
#include "shared/qx561x/cEnumeratorFactory.h"

#include "shared/qx561x/cDeviceEnumerator.h"
#include "shared/qx561x/cDeviceIteratorFactory.h"
#include "shared/qx561x/cPortEnumerator.h"

namespace qx561x {
namespace {

constexpr const char kDeviceTreeRoot[] = "/sys/devices";

}  // namespace

std::unique_ptr<iDeviceEnumerator> cEnumeratorFactory::createDeviceEnumerator() {
    return std::make_unique<cDeviceEnumerator>(std::make_unique<cDeviceIteratorFactory>(),
                                               kDeviceTreeRoot);
}

std::unique_ptr<iPortEnumerator> cEnumeratorFactory::createPortEnumerator() {
    return std::make_unique<cPortEnumerator>(kDeviceTreeRoot);
}

}  // namespace qx561x
