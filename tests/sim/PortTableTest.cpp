// SPDX-License-Identifier: MIT
#include "sim/PortTable.h"

#include "sim/BoardFileParser.h"
#include "tests/support/TempDir.h"

#include <cstdio>
#include <gtest/gtest.h>

using qxsim::BoardFileParser;
using qxsim::PortTable;

namespace {

class PortTableTest : public ::testing::Test {
protected:
    std::string file() const { return dir_.file("ports"); }

    qxtest::TempDir dir_;
};

TEST_F(PortTableTest, SavedTableLoadsBackUnchanged) {
    const auto boards = BoardFileParser("b.ini").parse(
        "[board a]\naddress = 0000:03:00.0\nports = 2\nfirst-port = 9\n[board b]\naddress = 0000:04:00.0\nports = 1\n");
    PortTable table;
    table.adopt(boards);
    table.find(9)->rx = 64;
    table.find(10)->rs485 = 0x11;
    table.find(10)->requests = 7;
    table.find(11)->tx = 4294967297u;
    table.save(file());
    const std::string expected =
        "ttyQX561xPort9 board=a rx=64 tx=- rs485=- requests=0\n"
        "ttyQX561xPort10 board=a rx=- tx=- rs485=0x11 requests=7\n"
        "ttyQX561xPort11 board=b rx=- tx=4294967297 rs485=- requests=0\n";
    EXPECT_EQ(table.format(), expected);
    EXPECT_EQ(PortTable::load(file()).format(), expected);
}

TEST_F(PortTableTest, AdoptKeepsOnlyPortsStillOnTheSameBoard) {
    PortTable table;
    table.adopt(BoardFileParser("b.ini").parse("[board a]\naddress = 0000:03:00.0\nports = 2\n"));
    table.find(0)->rx = 5;
    table.find(1)->rx = 6;
    table.adopt(BoardFileParser("b.ini").parse(
        "[board a]\naddress = 0000:03:00.0\nports = 1\n[board c]\naddress = 0000:04:00.0\nports = 2\n"));
    EXPECT_EQ(table.format(),
              "ttyQX561xPort0 board=a rx=5 tx=- rs485=- requests=0\n"
              "ttyQX561xPort1 board=c rx=- tx=- rs485=- requests=0\n"
              "ttyQX561xPort2 board=c rx=- tx=- rs485=- requests=0\n");
    EXPECT_EQ(table.find(3), nullptr);
}

TEST_F(PortTableTest, MissingFileIsAnEmptyTableAndAForeignLineIsAnError) {
    EXPECT_EQ(PortTable::load(file()).format(), "");
    std::FILE* out = std::fopen(file().c_str(), "w");
    std::fputs("garbage\n", out);
    std::fclose(out);
    EXPECT_THROW(PortTable::load(file()), std::runtime_error);
}

}  // namespace
