// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/qx561x/cPortEnumerator.h"
#include "tests/support/TempDir.h"

namespace {

using Names = std::vector<std::string>;

// Lays out entries below a board directory and returns the enumeration's last elements.
Names enumerate(const Names& entries) {
    qxtest::TempDir tree;
    for (const std::string& entry : entries) tree.mkdir("board/" + entry);
    Names result;
    for (const std::string& path : qx561x::cPortEnumerator("/sys/devices").enumeratePorts(tree.file("board")))
        result.push_back(path.substr(tree.file("board/").size()));
    return result;
}

TEST(PortEnumerator, OrdersByNumericIndex) {
    EXPECT_EQ(enumerate({"tty/ttyQX561xPort10", "tty/ttyQX561xPort2/power", "tty/ttyQX561xPort9"}),
              (Names{"tty/ttyQX561xPort2", "tty/ttyQX561xPort9", "tty/ttyQX561xPort10"}));
}

TEST(PortEnumerator, NameOnlyContainingThePrefixSortsAsIndexZero) {
    EXPECT_EQ(enumerate({"tty/ttyQX561xPort1", "tty/xttyQX561xPort3", "tty/ttyQX561xPort2"}),
              (Names{"tty/xttyQX561xPort3", "tty/ttyQX561xPort1", "tty/ttyQX561xPort2"}));
}

TEST(PortEnumerator, EntriesAnywhereBelowTheBoardAreListed) {
    EXPECT_EQ(enumerate({"tty/ttyQX561xPort5", "sub/deeper/ttyQX561xPort4", "tty/ttyS0"}),
              (Names{"sub/deeper/ttyQX561xPort4", "tty/ttyQX561xPort5"}));
}

TEST(PortEnumerator, NoPortsOrNoBoardGivesAnEmptyList) {
    EXPECT_EQ(enumerate({"tty/ttyS0", "power"}), Names{});
    qxtest::TempDir tree;
    EXPECT_EQ(qx561x::cPortEnumerator("/sys/devices").enumeratePorts(tree.file("absent")), Names{});
}

TEST(PortEnumerator, LinkedDirectoriesAreNotEntered) {
    qxtest::TempDir tree;
    tree.mkdir("other/tty/ttyQX561xPort7");
    tree.mkdir("board/tty/ttyQX561xPort1");
    std::filesystem::create_directory_symlink(tree.file("other"), tree.file("board/link"));
    EXPECT_EQ(qx561x::cPortEnumerator("/sys/devices").enumeratePorts(tree.file("board")),
              Names{tree.file("board/tty/ttyQX561xPort1")});
}

}  // namespace
