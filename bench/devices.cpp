// SPDX-License-Identifier: MIT
// The device enumerator's walk as its own process, timed against find over the same tree.
//   qxbench_devices

#include <cstdio>
#include <exception>

#include "shared/qx561x/cEnumeratorFactory.h"

int main() {
    try {
        const auto boards = qx561x::cEnumeratorFactory().createDeviceEnumerator()->enumerateDevices();
        std::printf("%zu boards\n", boards.size());
        return boards.empty() ? 1 : 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxbench_devices: %s\n", e.what());
        return 1;
    }
}
