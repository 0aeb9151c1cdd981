// SPDX-License-Identifier: MIT
#pragma once
// The least work that can produce what a host's listing shows: each board's directory from
// the kernel's index of PCI functions (one walk of the whole device tree for the boards
// missing there, as the product does) and a walk of it for its ports, each board's property files once, the
// configuration file and its defaults file once. The plug-in's listing is measured
// against it.

#include <cstdint>
#include <string>
#include <vector>

namespace qxbench {

struct FloorBoard {
    std::string address;  // e.g. 0000:10:00.0
    std::string path;     // its directory below /sys/devices
    uint32_t deviceId = 0;
    uint32_t bus = 0, device = 0, function = 0;
    std::string slotPath;
    std::string serial;
    bool rs232 = false;
};

struct FloorPort {
    std::size_t board = 0;  // index into boards
    std::string path;       // the port's entry in the device tree
    std::string node;       // /dev/ttyQX561xPort<N>
    uint32_t number = 0;    // position on its board, from 1
    uint32_t rx = 0, tx = 0, mode = 0;
};

struct FloorListing {
    std::vector<FloorBoard> boards;
    std::vector<FloorPort> ports;  // board by board, each board's ports by index
};

FloorListing listFloor(const std::string& configurationPath);

// "qx561x:<device ID hex>:<slot path>:<number>"
std::string portIdentifier(const FloorListing& listing, const FloorPort& port);

// A configuration file with a section for every port (values varied from port to port)
// and a defaults file beside it.
void writeConfiguration(const FloorListing& listing, const std::string& configurationPath);

}  // namespace qxbench
