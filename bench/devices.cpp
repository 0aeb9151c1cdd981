// SPDX-License-Identifier: MIT
// The device enumerator's walk (what it does where the kernel's index does not answer) as
// its own process, timed against find over the same tree.
//   qxbench_devices

#include <cstdio>
#include <exception>
#include <memory>

#include "shared/qx561x/cDeviceEnumerator.h"
#include "shared/qx561x/cDeviceIteratorFactory.h"

int main() {
    try {
        qx561x::cDeviceEnumerator walkOnly(std::make_unique<qx561x::cDeviceIteratorFactory>(),
                                           "/sys/devices");
        const auto boards = walkOnly.enumerateDevices();
        std::printf("%zu boards\n", boards.size());
        return boards.empty() ? 1 : 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxbench_devices: %s\n", e.what());
        return 1;
    }
}
