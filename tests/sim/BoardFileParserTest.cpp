// SPDX-License-Identifier: MIT
#include "sim/BoardFileParser.h"

#include "shared/qx561x/ProductTable.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/TempDir.h"

using qxsim::BoardFileError;
using qxsim::BoardFileParser;
using qxsim::BoardSet;
using qxsim::Request;

namespace {

BoardSet parse(const std::string& text) { return BoardFileParser("boards.ini").parse(text); }

std::string errorOf(const std::string& text) {
    try {
        parse(text);
    } catch (const BoardFileError& error) {
        return error.what();
    }
    return "no error";
}

TEST(BoardFileParser, ModelByLongOrUniqueShortNameSetsIdentityAndPortCount) {
    const BoardSet set = parse(
        "[board a]\nmodel = PCIe-5611/8 (RS-485) Interface\naddress = 0000:03:00.0\n"
        "[board b]\nmodel = PCI-5610/4\naddress = 0000:05:1f.7\n");
    ASSERT_EQ(set.boards.size(), 2u);
    EXPECT_EQ(set.boards[0].deviceId, 0x7019u);
    EXPECT_EQ(set.boards[0].vendorId, qx561x::kPciVendorId);
    EXPECT_EQ(set.boards[0].ports, 8u);
    EXPECT_FALSE(set.boards[0].isRs232);
    EXPECT_EQ(set.boards[1].deviceId, 0x7002u);
    EXPECT_TRUE(set.boards[1].isRs232);
    EXPECT_EQ(set.boards[1].bus, 5u);
    EXPECT_EQ(set.boards[1].device, 0x1fu);
    EXPECT_EQ(set.boards[1].function, 7u);
}

TEST(BoardFileParser, DefaultsFollowTheAddressAndEarlierBoards) {
    const BoardSet set = parse(
        "; comment\n[board a]\naddress = 0000:03:00.0 ; trailing comment\nports = 4\n"
        "[board b]\naddress = 0001:0a:02.1\n");
    const auto& a = set.boards[0];
    const auto& b = set.boards[1];
    EXPECT_EQ(a.firstPort, 0u);
    EXPECT_EQ(b.firstPort, 4u);  // after a's ports, so indices never collide
    EXPECT_EQ(a.parent, "pci0000:00");
    EXPECT_EQ(b.parent, "pci0001:00");
    EXPECT_EQ(b.slotPath, "10");
    EXPECT_EQ(a.serial.size(), 8u);
    EXPECT_TRUE(a.present);
    EXPECT_EQ(set.filler, 0u);
}

TEST(BoardFileParser, RawIdsBytesMissingRefuseAndFiller) {
    const BoardSet set = parse(
        "[board x]\ndevice-id = 0x1234\nvendor-id = 4660\naddress = 0000:03:00.0\nports = 2\n"
        "missing = busProperties/pciSlotPath deviceProperties\n"
        "bytes.busProperties/pciVendorID = 01 02 03 04 05 06 07 08\nbytes.busProperties/empty =\n"
        "refuse = rx:EINVAL tx:EIO rs485:ENOTTY\npresent = no\nhold = busProperties/pciDeviceID\n"
        "[tree]\nfiller = 30000\n");
    const auto& x = set.boards[0];
    EXPECT_EQ(x.deviceId, 0x1234u);
    EXPECT_EQ(x.vendorId, 4660u);
    EXPECT_EQ(x.ports, 2u);
    EXPECT_EQ(x.missing, (std::set<std::string>{"busProperties/pciSlotPath", "deviceProperties"}));
    EXPECT_EQ(x.bytes.at("busProperties/pciVendorID"), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_TRUE(x.bytes.at("busProperties/empty").empty());
    EXPECT_EQ(x.refuse.at(Request::Rx), EINVAL);
    EXPECT_EQ(x.refuse.at(Request::Tx), EIO);
    EXPECT_EQ(x.refuse.at(Request::Rs485), ENOTTY);
    EXPECT_FALSE(x.present);
    EXPECT_EQ(x.held, (std::set<std::string>{"busProperties/pciDeviceID"}));
    EXPECT_EQ(set.filler, 30000u);
}

TEST(BoardFileParser, BusLinkLeftOutOrPointedElsewhere) {
    const auto linkOf = [](const std::string& key) {
        const qxsim::Board board = parse("[board a]\naddress = 0000:03:00.0\n" + key).boards[0];
        return std::make_pair(board.busLink, board.busLinkTarget);
    };
    EXPECT_EQ(linkOf(""), std::make_pair(true, std::string()));
    EXPECT_EQ(linkOf("bus-link = none\n"), std::make_pair(false, std::string()));
    EXPECT_EQ(linkOf("bus-link = ../../../devices/x\\x3by\n"), std::make_pair(true, std::string("../../../devices/x;y")));
}

// Any byte but '/' and NUL: escapes carry what an INI line cannot.
TEST(BoardFileParser, ParentElementsTakeAnyByte) {
    const auto parentOf = [](const std::string& value) {
        return parse("[board a]\naddress = 0000:03:00.0\nparent = " + value + "\n").boards[0].parent;
    };
    EXPECT_EQ(parentOf("pci0000:00/x\"&$(touch p);`id`\\ny"), "pci0000:00/x\"&$(touch p);`id`\ny");
    EXPECT_EQ(parentOf("\\x20a \\x3b b\\t\\\\/c\\x2fd\\xff"), " a ; b\t\\/c/d\xff");
}

TEST(BoardFileParser, UnknownDeviceIdWithoutPortsHasNone) {
    EXPECT_EQ(parse("[board x]\ndevice-id = 0x9999\naddress = 0000:03:00.0\n").boards[0].ports, 0u);
}

TEST(BoardFileParser, EmptyTreeSectionIsAMachineWithoutBoards) {
    EXPECT_TRUE(parse("[tree]\n").boards.empty());
}

TEST(BoardFileParser, FaultsNameFileAndLine) {
    const std::string a = "[board a]\naddress = 0000:03:00.0\n";
    std::string longParent = "p";
    while (longParent.size() <= 2048) longParent += "/" + std::string(200, 'e');
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"", "boards.ini: holds no section"},
        {"# only a comment\n", "boards.ini: holds no section"},
        {"address = 0000:03:00.0\n", "boards.ini:1: key outside a section"},
        {"[board a]\naddress = 0000:03:00.0\ncolour = red\n", "boards.ini:3: unknown key 'colour'"},
        {"[board a]\naddress = 0000:03:00.0\naddress = 0000:04:00.0\n", "boards.ini:3: duplicate key 'address'"},
        {"[board a]\nports = 2\n", "boards.ini:1: board 'a' has no address"},
        {"[board a]\naddress = 03:00.0\n", "boards.ini:2: address must look like"},
        {"[board a]\naddress = 0000:03:20.0\n", "boards.ini:2: address must look like"},
        {"[board a]\naddress = 0000:03:00.8\n", "boards.ini:2: address must look like"},
        {a + "model = PCI-9999/1\n", "boards.ini:3: unknown model 'PCI-9999/1'"},
        {a + "model = PCI-5310/2\n", "boards.ini:3: short name 'PCI-5310/2' is ambiguous"},
        {a + "model = PCI-5610/2\ndevice-id = 0x7001\n", "boards.ini:4: give either model or device-id"},
        {a + "ports = -1\n", "boards.ini:3: ports must be a number"},
        {a + "ports = 4x\n", "boards.ini:3: ports must be a number"},
        {a + "ports = 257\n", "boards.ini:3: ports must be a number"},
        {a + "device-id = 0x1FFFFFFFF\n", "boards.ini:3: device-id must be a number"},
        {a + "first-port = \n", "boards.ini:3: first-port must be a number"},
        {a + "missing = busProperties/nothing\n", "boards.ini:3: missing names no property file"},
        {a + "hold = busProperties\n", "boards.ini:3: hold names no property file: 'busProperties'"},
        {a + "missing = deviceProperties\nhold = deviceProperties/serialNumber\n",
         "boards.ini:4: hold names 'deviceProperties/serialNumber', which missing or bytes. names too"},
        {a + "bytes.busProperties/pciVendorID = 1g\n", "boards.ini:3: bytes must be hexadecimal"},
        {a + "bytes.busProperties/pciVendorID = 100\n", "boards.ini:3: bytes must be hexadecimal"},
        {a + "bytes.../escape = 00\n", "boards.ini:3: bad property path '../escape'"},
        {a + "refuse = rx:EWHATEVER\n", "boards.ini:3: refuse takes items"},
        {a + "refuse = baud:EIO\n", "boards.ini:3: refuse takes items"},
        {a + "parent = ../etc\n", "boards.ini:3: parent must not have '.' or '..' as an element"},
        {a + "parent = x/./y\n", "boards.ini:3: parent must not have '.' or '..' as an element"},
        {a + "parent = /abs\n", "boards.ini:3: parent must be a relative path"},
        {a + "parent = x//y\n", "boards.ini:3: parent has an empty element"},
        {a + "parent = x/\\x00\n", "boards.ini:3: parent must not hold a NUL byte"},
        {a + "parent = x\\q\n", "boards.ini:3: parent has an unknown escape '\\q'"},
        {a + "parent = x\\x4\n", "boards.ini:3: parent has an unknown escape '\\x4'"},
        {a + "present = maybe\n", "boards.ini:3: present must be yes or no"},
        {a + "bus-link =\n", "boards.ini:3: bus-link must be none or a link target"},
        {a + "bus-link = x\\x00\n", "boards.ini:3: bus-link must be none or a link target"},
        {a + "bus-link = x\\q\n", "boards.ini:3: bus-link has an unknown escape '\\q'"},
        {a + "parent = x/" + std::string(256, 'e') + "\n", "boards.ini:3: parent has an element longer than 255 bytes"},
        {a + "parent = " + longParent + "\n", "boards.ini:3: parent is longer than 2048 bytes"},
        {a + "bytes.busProperties = 01 02\n", "boards.ini:3: bytes.busProperties names a directory"},
        {a + "bytes.x = 01\nbytes.x/y = 02\n", "boards.ini:3: bytes.x names a directory"},
        {a + "[board b]\naddress = 0000:04:00.0\nparent = pci0000:00/0000:03:00.0/vendor/x\n",
         "boards.ini:5: board 'b' would lie below pci0000:00/0000:03:00.0/vendor, a file of board 'a'"},
        {"[board a]\naddress = 0000:0a:00.0\n[board b]\naddress = 0000:0A:00.0\n",
         "boards.ini:4: address 0000:0A:00.0 is already used by board 'a'"},
        {a + "[board a]\naddress = 0000:04:00.0\n", "boards.ini:3: board 'a' is defined twice"},
        {a + "[board b]\naddress = 0000:03:00.0\n", "boards.ini:4: address 0000:03:00.0 is already used"},
        {a + "[board b]\naddress = 0000:04:00.0\nfirst-port = 7\n", "boards.ini:5: ports of board 'b' overlap"},
        {a + "[boards]\n", "boards.ini:3: unknown section [boards]"},
        {a + "[board a b]\n", "boards.ini:3: unknown section"},
        {a + "[tree\n", "boards.ini:3: section header without ']'"},
        {a + "just words\n", "boards.ini:3: expected 'key = value'"},
        {"[tree]\nfiller = lots\n", "boards.ini:2: filler must be a number"},
        {"[tree]\nports = 3\n", "boards.ini:2: unknown key 'ports'"},
        {"[tree]\n[tree]\n", "boards.ini:2: second [tree] section"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(errorOf(c.text).rfind(c.message, 0), 0u) << "text:\n" << c.text << "error: " << errorOf(c.text);
    }
}

// Only a regular file of a sane size is read: a FIFO or a device would hang or never end.
TEST(BoardFileParser, FileThatIsNoBoardFileIsRefused) {
    const qxtest::TempDir dir;
    const std::string fifo = dir.file("fifo"), large = dir.write("large.ini", "[tree]\n");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(::truncate(large.c_str(), (1 << 20) + 1), 0);
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {"/nonexistent/boards.ini", "cannot be read: No such file or directory"},
        {fifo, "is not a regular file"},
        {"/dev/zero", "is not a regular file"},
        {dir.path(), "is not a regular file"},
        {large, "is larger than 1 MiB"},
    };
    for (const auto& c : cases) {
        try {
            BoardFileParser::parseFile(c.path);
            ADD_FAILURE() << "no error for " << c.path;
        } catch (const BoardFileError& error) {
            EXPECT_EQ(error.what(), c.path + ": " + c.message);
        }
    }
}

}  // namespace
