// SPDX-License-Identifier: MIT
#pragma once
// What the simulated driver knows about one board function and about the machine.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace qxsim {

// The three driver requests the simulator answers.
enum class Request { Rx, Tx, Rs485 };

struct Board {
    std::string name;      // from the section header "[board <name>]"
    int line = 0;          // line of the section header, for messages
    uint32_t vendorId = 0;
    uint32_t deviceId = 0;
    bool isRs232 = false;
    std::string address;   // e.g. 0000:03:00.0
    uint32_t bus = 0;
    uint32_t device = 0;
    uint32_t function = 0;
    std::string parent;    // path from /sys/devices to the board's directory; any byte but NUL
    bool present = true;   // false: starts unplugged
    bool busLink = true;   // false: no /sys/bus/pci/devices/<address> link
    std::string busLinkTarget;  // the link's target when not the board's directory
    std::string slotPath;
    std::string serial;
    uint32_t firstPort = 0;
    uint32_t ports = 0;
    std::set<std::string> missing;                         // property paths left out
    std::set<std::string> held;                            // property paths that are FIFOs
    std::map<std::string, std::vector<uint8_t>> bytes;     // property path -> exact content
    std::map<Request, int> refuse;                         // request -> errno
};

struct BoardSet {
    std::vector<Board> boards;
    uint32_t filler = 0;  // extra directories under /sys/devices
};

// One simulated port: its index and the board it belongs to.
struct PortRef {
    uint32_t index = 0;
    const Board* board = nullptr;
};

std::string portName(uint32_t index);

}  // namespace qxsim
