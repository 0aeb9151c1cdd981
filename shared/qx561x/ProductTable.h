// SPDX-License-Identifier: MIT
#pragma once
// The supported board models, keyed by the PCI device ID the driver reports.

#include <cstdint>
#include <map>
#include <string>

namespace qx561x {

// The family's PCI vendor ID; boards of any other vendor are not ours.
constexpr uint32_t kPciVendorId = 0x5158;

struct ProductInfo {
    std::string longName;
    std::string shortName;
    uint32_t busType;  // 2 PXI, 3 PXI Express, 4 PCI, 5 PCI Express
    bool isRs232;
    int32_t portCount;
};

enum : uint32_t { kBusPxi = 2, kBusPxiExpress = 3, kBusPci = 4, kBusPciExpress = 5 };

// Copies the row of deviceId into info; on a miss returns false and leaves info alone.
bool lookupProduct(int32_t deviceId, ProductInfo& info);

// The whole table, read-only after static initialisation.
const std::map<int32_t, ProductInfo>& productTable();

}  // namespace qx561x
