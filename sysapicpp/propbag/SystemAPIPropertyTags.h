// SPDX-License-Identifier: MIT
#pragma once
// The general tags that describe boards and ports. Where the items give a tag a plain
// meaning it has a name; the others are fixed values a host may look for, named by number.

#include <cstdint>

namespace sysapicpp {

enum SystemAPIPropertyTag : uint32_t {
    Tag01001000 = 0x01001000,
    Tag01002000 = 0x01002000,
    VendorId = 0x01003000,
    VendorName = 0x01004000,
    PciDeviceId = 0x01005000,
    ModelName = 0x01006000,
    SerialNumber = 0x01007000,
    Tag01008000 = 0x01008000,
    Tag01009000 = 0x01009000,
    ParentDevice = 0x0100A000,      // ports; "" on boards
    PortNumber = 0x0100B000,        // ports, from 1; -1 on boards
    PortCount = 0x0100C000,
    PciBusNumber = 0x01018000,
    PciDeviceNumber = 0x01019000,
    PciFunctionNumber = 0x0101A000,
    Tag0101C000 = 0x0101C000,
    Name = 0x0101D000,              // the item name
    Description = 0x0101F000,       // boards: the description; ports: the port node
    Tag01020000 = 0x01020000,
    ItemGuid = 0x01022000,
    Tag01024000 = 0x01024000,
    Tag01026000 = 0x01026000,
    ItemName = 0x01027000,
    Tag01028000 = 0x01028000,
    Tag0102A000 = 0x0102A000,
    Tag01030000 = 0x01030000,
    Tag01031000 = 0x01031000,
    Tag01037000 = 0x01037000,
    Tag01038000 = 0x01038000,
    Tag0103B000 = 0x0103B000,
    Tag01048000 = 0x01048000,
    PortNode = 0x01049000,
    Tag01054000 = 0x01054000,
    Tag01073000 = 0x01073000,
    Tag01075000 = 0x01075000,
    Tag01078000 = 0x01078000,
    Tag01079000 = 0x01079000,
    Tag0107A000 = 0x0107A000,
    Tag01086000 = 0x01086000,
};

}  // namespace sysapicpp
