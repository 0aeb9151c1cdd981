// SPDX-License-Identifier: MIT
#pragma once
// What the simulated driver holds per port, kept in the state directory as the lines that
// "qxsim ports" prints: "ttyQX561xPort4 board=a rx=64 tx=128 rs485=0x3 requests=3".

#include "sim/Board.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace qxsim {

struct PortRecord {
    std::string board;
    std::optional<uint64_t> rx;
    std::optional<uint64_t> tx;
    std::optional<uint32_t> rs485;  // the flags word
    uint64_t requests = 0;          // every request, refused ones included
};

class PortTable {
public:
    // An absent file is an empty table.
    static PortTable load(const std::string& path);

    // Replaces the file atomically, so a reader never sees half a table.
    void save(const std::string& path) const;

    std::string format() const;

    // Keeps the records of ports that the boards still have on the same board; every other
    // port of the boards starts unset.
    void adopt(const BoardSet& boards);

    // Nothing for a port the table does not hold.
    PortRecord* find(uint32_t index);

private:
    std::map<uint32_t, PortRecord> records_;  // by port index
};

}  // namespace qxsim
