// SPDX-License-Identifier: MIT
#include "sim/DefaultBoards.h"

namespace qxsim {

const char* defaultBoardsText() {
    return R"([board rs485]
model = PCIe-5611/8 (RS-485) Interface
address = 0000:03:00.0
parent = pci0000:00/0000:00:1c.0
slot-path = 3
serial = 1A2B3C4D
first-port = 0

[board rs232]
model = PCI-5610/4 (RS-232) Interface
address = 0000:05:01.0
parent = pci0000:00/0000:00:1e.0
slot-path = 5
serial = 01C0FFEE
first-port = 8

[board pxi]
model = PXI-5611/2 (RS-485) Interface
address = 0000:0b:0f.0
parent = pci0000:00/0000:00:1c.4/0000:0a:00.0
slot-path = 4.15
serial = 2D3E4F50
first-port = 20

[tree]
filler = 500
)";
}

}  // namespace qxsim
