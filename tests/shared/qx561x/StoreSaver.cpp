// SPDX-License-Identifier: MIT
// qxstore_saver PATH PORT FIRST COUNT: the save loop as a program of its own.

#include <cstdio>
#include <exception>
#include <string>

#include "tests/shared/qx561x/SaveLoop.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: qxstore_saver PATH PORT FIRST COUNT\n");
        return 2;
    }
    try {
        return storetest::saveLoop(argv[1], argv[2], std::stoul(argv[3]), std::stoul(argv[4]), 1)
                   ? 0
                   : 3;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxstore_saver: %s\n", e.what());
        return 1;
    }
}
