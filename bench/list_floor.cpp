// SPDX-License-Identifier: MIT
// The floor of a host's listing as its own process (see ListingFloor.h).
//   qxbench_listfloor                 list, as the first listing's floor
//   qxbench_listfloor --write-config  write the benchmark's configuration files first
//   qxbench_listfloor --reads N       list N times in the one process: a new host's listing
//                                     reads everything twice (its items are made, then
//                                     asked for their properties), so 2 is its least cost

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "bench/BenchHost.h"

int main(int argc, char** argv) {
    try {
        int reads = 1;
        if (argc == 2 && std::strcmp(argv[1], "--write-config") == 0) {
            qxbench::writeConfiguration(qxbench::listFloor(qxbench::kConfigurationPath),
                                        qxbench::kConfigurationPath);
        } else if (argc == 3 && std::strcmp(argv[1], "--reads") == 0 && std::atoi(argv[2]) > 0) {
            reads = std::atoi(argv[2]);
        } else if (argc != 1) {
            std::fprintf(stderr, "usage: qxbench_listfloor [--write-config | --reads N]\n");
            return 2;
        }
        qxbench::FloorListing listing;
        for (int i = 0; i < reads; ++i) listing = qxbench::listFloor(qxbench::kConfigurationPath);
        std::printf("%zu boards, %zu ports\n", listing.boards.size(), listing.ports.size());
        return listing.ports.empty() ? 1 : 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxbench_listfloor: %s\n", e.what());
        return 1;
    }
}
