// SPDX-License-Identifier: MIT
#pragma once
// Enumerators over the fixed system roots: the device tree and the kernel's index of PCI
// functions.

#include "shared/qx561x/iEnumeratorFactory.h"

namespace qx561x {

class cEnumeratorFactory : public iEnumeratorFactory {
public:
    cEnumeratorFactory() = default;
    cEnumeratorFactory(const cEnumeratorFactory&) = delete;
    cEnumeratorFactory& operator=(const cEnumeratorFactory&) = delete;

    std::unique_ptr<iDeviceEnumerator> createDeviceEnumerator() override;
    std::unique_ptr<iPortEnumerator> createPortEnumerator() override;
};

}  // namespace qx561x
