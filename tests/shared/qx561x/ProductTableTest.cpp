// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "shared/qx561x/ProductTable.h"

using qx561x::ProductInfo;

namespace {

int32_t idOf(const std::string& longName) {
    for (const auto& [id, info] : qx561x::productTable())
        if (info.longName == longName) return id;
    ADD_FAILURE() << "no row " << longName;
    return 0;
}

TEST(ProductTable, LookupOfKnownModels) {
    struct Case { const char* longName; const char* shortName; uint32_t bus; bool rs232; int32_t ports; };
    const Case cases[] = {
        {"PCI-5611/4 (RS-485) Interface", "PCI-5611/4", 4, false, 4},
        {"PXIe-5610/16 (RS-232) Interface", "PXIe-5610/16", 3, true, 16},
        {"PXI-5513/4 (Isolated RS-485) Interface", "PXI-5513", 2, false, 4},
        {"PCI-5310/2 (Isolated) Interface", "PCI-5310/2", 4, true, 2},
        {"PCIe-5611/16 (RS-485) Interface", "PCIe-5611/16", 5, false, 16},
    };
    for (const Case& c : cases) {
        ProductInfo info{};
        ASSERT_TRUE(qx561x::lookupProduct(idOf(c.longName), info)) << c.longName;
        EXPECT_EQ(info.longName, c.longName);
        EXPECT_EQ(info.shortName, c.shortName);
        EXPECT_EQ(info.busType, c.bus) << c.longName;
        EXPECT_EQ(info.isRs232, c.rs232) << c.longName;
        EXPECT_EQ(info.portCount, c.ports) << c.longName;
    }
}

TEST(ProductTable, MissLeavesRecordUntouched) {
    for (int32_t id : {0, -1, 0x7000, 0x703D, 0x5158}) {
        ProductInfo info{"keep", "keep", 9, true, 99};
        EXPECT_FALSE(qx561x::lookupProduct(id, info)) << id;
        EXPECT_EQ(info.longName, "keep");
        EXPECT_EQ(info.portCount, 99);
    }
}

// Every row must agree with what its long name says about bus, kind and port count.
TEST(ProductTable, RowsFollowTheirNames) {
    const auto& table = qx561x::productTable();
    EXPECT_EQ(table.size(), 60u);
    std::set<std::string> longNames;
    const std::regex name(R"(^(PCI|PXI|PCIe|PXIe)-(\d{4})/(\d+) .*Interface$)");
    const std::map<std::string, uint32_t> bus = {{"PCI", 4}, {"PXI", 2}, {"PCIe", 5}, {"PXIe", 3}};
    const std::set<std::string> rs232 = {"5610", "5612", "5510", "5512", "5310"};
    for (const auto& [id, info] : table) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(info.longName, m, name)) << info.longName;
        EXPECT_TRUE(longNames.insert(info.longName).second) << info.longName;
        EXPECT_EQ(info.busType, bus.at(m[1])) << info.longName;
        EXPECT_EQ(info.isRs232, rs232.count(m[2]) == 1) << info.longName;
        EXPECT_EQ(info.portCount, std::stoi(m[3])) << info.longName;
        EXPECT_EQ(info.shortName.rfind(m[1].str() + "-" + m[2].str(), 0), 0u) << info.longName;
    }
}

}  // namespace
