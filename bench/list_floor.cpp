// SPDX-License-Identifier: MIT
// The floor of a host's listing as its own process (see ListingFloor.h).
//   qxbench_listfloor                 list, as the first listing's floor
//   qxbench_listfloor --write-config  write the benchmark's configuration files first

#include <cstdio>
#include <cstring>
#include <exception>

#include "bench/BenchHost.h"

int main(int argc, char** argv) {
    try {
        if (argc == 2 && std::strcmp(argv[1], "--write-config") == 0) {
            qxbench::writeConfiguration(qxbench::listFloor(qxbench::kConfigurationPath),
                                        qxbench::kConfigurationPath);
        } else if (argc != 1) {
            std::fprintf(stderr, "usage: qxbench_listfloor [--write-config]\n");
            return 2;
        }
        const qxbench::FloorListing listing = qxbench::listFloor(qxbench::kConfigurationPath);
        std::printf("%zu boards, %zu ports\n", listing.boards.size(), listing.ports.size());
        return listing.ports.empty() ? 1 : 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxbench_listfloor: %s\n", e.what());
        return 1;
    }
}
