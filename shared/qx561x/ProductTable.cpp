// SPDX-License-Identifier: MIT
#include "shared/qx561x/ProductTable.h"

namespace qx561x {
namespace {

// Device IDs are ours to assign: 0x7000 plus the row number, so rows stay distinct.
const std::map<int32_t, ProductInfo> kTable = {
    {0x7001, {"PCI-5610/2 (RS-232) Interface", "PCI-5610/2", kBusPci, true, 2}},
    {0x7002, {"PCI-5610/4 (RS-232) Interface", "PCI-5610/4", kBusPci, true, 4}},
    {0x7003, {"PCI-5610/8 (RS-232) Interface", "PCI-5610/8", kBusPci, true, 8}},
    {0x7004, {"PCI-5610/16 (RS-232) Interface", "PCI-5610/16", kBusPci, true, 16}},
    {0x7005, {"PCI-5612/2 (Isolated RS-232) Interface", "PCI-5612/2", kBusPci, true, 2}},
    {0x7006, {"PCI-5612/4 (Isolated RS-232) Interface", "PCI-5612/4", kBusPci, true, 4}},
    {0x7007, {"PCI-5611/2 (RS-485) Interface", "PCI-5611/2", kBusPci, false, 2}},
    {0x7008, {"PCI-5611/4 (RS-485) Interface", "PCI-5611/4", kBusPci, false, 4}},
    {0x7009, {"PCI-5611/8 (RS-485) Interface", "PCI-5611/8", kBusPci, false, 8}},
    {0x700A, {"PCI-5613/2 (Isolated RS-485) Interface", "PCI-5613/2", kBusPci, false, 2}},
    {0x700B, {"PCI-5613/4 (Isolated RS-485) Interface", "PCI-5613/4", kBusPci, false, 4}},
    {0x700C, {"PXI-5610/2 (RS-232) Interface", "PXI-5610/2", kBusPxi, true, 2}},
    {0x700D, {"PXI-5610/4 (RS-232) Interface", "PXI-5610/4", kBusPxi, true, 4}},
    {0x700E, {"PXI-5610/8 (RS-232) Interface", "PXI-5610/8", kBusPxi, true, 8}},
    {0x700F, {"PXI-5610/16 (RS-232) Interface", "PXI-5610/16", kBusPxi, true, 16}},
    {0x7010, {"PXI-5612/2 (Isolated RS-232) Interface", "PXI-5612/2", kBusPxi, true, 2}},
    {0x7011, {"PXI-5612/4 (Isolated RS-232) Interface", "PXI-5612/4", kBusPxi, true, 4}},
    {0x7012, {"PXI-5611/2 (RS-485) Interface", "PXI-5611/2", kBusPxi, false, 2}},
    {0x7013, {"PXI-5611/4 (RS-485) Interface", "PXI-5611/4", kBusPxi, false, 4}},
    {0x7014, {"PXI-5611/8 (RS-485) Interface", "PXI-5611/8", kBusPxi, false, 8}},
    {0x7015, {"PXI-5613/2 (Isolated RS-485) Interface", "PXI-5613/2", kBusPxi, false, 2}},
    {0x7016, {"PXI-5613/4 (Isolated RS-485) Interface", "PXI-5613/4", kBusPxi, false, 4}},
    {0x7017, {"PCIe-5610/8 (RS-232) Interface", "PCIe-5610/8", kBusPciExpress, true, 8}},
    {0x7018, {"PCIe-5610/16 (RS-232) Interface", "PCIe-5610/16", kBusPciExpress, true, 16}},
    {0x7019, {"PCIe-5611/8 (RS-485) Interface", "PCIe-5611/8", kBusPciExpress, false, 8}},
    {0x701A, {"PCIe-5611/16 (RS-485) Interface", "PCIe-5611/16", kBusPciExpress, false, 16}},
    {0x701B, {"PCI-5310/2 Interface", "PCI-5310/2", kBusPci, true, 2}},
    {0x701C, {"PCI-5310/4 Interface", "PCI-5310/4", kBusPci, true, 4}},
    {0x701D, {"PCI-5310/8 Interface", "PCI-5310/8", kBusPci, true, 8}},
    {0x701E, {"PCI-5310/16 Interface", "PCI-5310/16", kBusPci, true, 16}},
    {0x701F, {"PCI-5310/2 (Isolated) Interface", "PCI-5310/2", kBusPci, true, 2}},
    {0x7020, {"PCI-5310/4 (Isolated) Interface", "PCI-5310/4", kBusPci, true, 4}},
    {0x7021, {"PCI-5320/2 Interface", "PCI-5320/2", kBusPci, false, 2}},
    {0x7022, {"PCI-5320/4 Interface", "PCI-5320/4", kBusPci, false, 4}},
    {0x7023, {"PCI-5320/8 Interface", "PCI-5320/8", kBusPci, false, 8}},
    {0x7024, {"PCI-5320/2 (Isolated) Interface", "PCI-5320/2", kBusPci, false, 2}},
    {0x7025, {"PCI-5320/4 (Isolated) Interface", "PCI-5320/4", kBusPci, false, 4}},
    {0x7026, {"PXI-5510/2 (RS-232) Interface", "PXI-5510/2", kBusPxi, true, 2}},
    {0x7027, {"PXI-5510/4 (RS-232) Interface", "PXI-5510/4", kBusPxi, true, 4}},
    {0x7028, {"PXI-5510/8 (RS-232) Interface", "PXI-5510/8", kBusPxi, true, 8}},
    {0x7029, {"PXI-5510/16 (RS-232) Interface", "PXI-5510/16", kBusPxi, true, 16}},
    {0x702A, {"PXI-5512/2 (Isolated RS-232) Interface", "PXI-5512/2", kBusPxi, true, 2}},
    {0x702B, {"PXI-5512/4 (Isolated RS-232) Interface", "PXI-5512/4", kBusPxi, true, 4}},
    {0x702C, {"PXI-5511/2 (RS-485) Interface", "PXI-5511/2", kBusPxi, false, 2}},
    {0x702D, {"PXI-5511/4 (RS-485) Interface", "PXI-5511/4", kBusPxi, false, 4}},
    {0x702E, {"PXI-5511/8 (RS-485) Interface", "PXI-5511/8", kBusPxi, false, 8}},
    {0x702F, {"PXI-5513/2 (Isolated RS-485) Interface", "PXI-5513/2", kBusPxi, false, 2}},
    {0x7030, {"PXI-5513/4 (Isolated RS-485) Interface", "PXI-5513", kBusPxi, false, 4}},
    {0x7031, {"PXIe-5610/16 (RS-232) Interface", "PXIe-5610/16", kBusPxiExpress, true, 16}},
    {0x7032, {"PXIe-5610/8 (RS-232) Interface", "PXIe-5610/8", kBusPxiExpress, true, 8}},
    {0x7033, {"PXIe-5611/16 (RS-485) Interface", "PXIe-5611/16", kBusPxiExpress, false, 16}},
    {0x7034, {"PXIe-5611/8 (RS-485) Interface", "PXIe-5611/8", kBusPxiExpress, false, 8}},
    {0x7035, {"PCIe-5612/2 (Isolated RS-232) Interface", "PCIe-5612/2", kBusPciExpress, true, 2}},
    {0x7036, {"PCIe-5612/4 (Isolated RS-232) Interface", "PCIe-5612/4", kBusPciExpress, true, 4}},
    {0x7037, {"PCIe-5613/2 (Isolated RS-485) Interface", "PCIe-5613/2", kBusPciExpress, false, 2}},
    {0x7038, {"PCIe-5613/4 (Isolated RS-485) Interface", "PCIe-5613/4", kBusPciExpress, false, 4}},
    {0x7039, {"PCIe-5610/2 (RS-232) Interface", "PCIe-5610/2", kBusPciExpress, true, 2}},
    {0x703A, {"PCIe-5610/4 (RS-232) Interface", "PCIe-5610/4", kBusPciExpress, true, 4}},
    {0x703B, {"PCIe-5611/2 (RS-485) Interface", "PCIe-5611/2", kBusPciExpress, false, 2}},
    {0x703C, {"PCIe-5611/4 (RS-485) Interface", "PCIe-5611/4", kBusPciExpress, false, 4}},
};

}  // namespace

bool lookupProduct(int32_t deviceId, ProductInfo& info) {
    auto it = kTable.lower_bound(deviceId);
    if (it == kTable.end() || it->first != deviceId) return false;
    info = it->second;
    return true;
}

const std::map<int32_t, ProductInfo>& productTable() { return kTable; }

}  // namespace qx561x
