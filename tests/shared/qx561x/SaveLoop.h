// SPDX-License-Identifier: MIT
#pragma once
// The writer of the multi-process tests: saves the port's values first, first+1, ...
// (count times; 0 = until killed): receive depth i, transmit depth i+1000, mode i%4.
// Writes one byte to readyFd (unless -1) after the first save so a parent knows
// saving is under way.

#include <unistd.h>

#include <string>

#include "shared/qx561x/cIniDataStore.h"

namespace storetest {

inline bool saveLoop(const std::string& path, const std::string& port, unsigned long first,
                     unsigned long count, int readyFd) {
    for (unsigned long i = first; count == 0 || i < first + count; ++i) {
        qx561x::cIniDataStore store;
        store.setFifoRxDepth(port, static_cast<uint32_t>(i));
        store.setFifoTxDepth(port, static_cast<uint32_t>(i + 1000));
        store.setRs485TransceiverMode(port, static_cast<uint32_t>(i % 4));
        store.save(path);
        if (i == first && readyFd >= 0 && ::write(readyFd, "r", 1) != 1) {
            return false;
        }
    }
    return true;
}

}  // namespace storetest
