// SPDX-License-Identifier: MIT
#pragma once
// Runs one test body inside the simulated driver: outside, the test starts this program
// again under qxsim with a filter for itself and checks that the inner run passed.

#include <string>
#include <vector>

namespace qxtest {

bool insideSim();

// Board file name relative to the scenario directory; extraEnvironment holds "KEY=value".
void rerunUnderSim(const std::string& boardFile,
                   const std::vector<std::string>& extraEnvironment = {});

// The directory with the test PXI query library, or "" when it was not built.
std::string testPxiLibraryDirectory();

}  // namespace qxtest

#define QX_UNDER_SIM(...)                            \
    do {                                             \
        if (!::qxtest::insideSim()) {                \
            ::qxtest::rerunUnderSim(__VA_ARGS__);    \
            return;                                  \
        }                                            \
    } while (0)
