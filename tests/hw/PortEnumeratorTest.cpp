#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shared/qx561x/cPortEnumerator.h"
#include "tests/hw/TempTree.h"

namespace {

using Names = std::vector<std::string>;

// Lays out entries below a board directory and returns the enumeration's last elements.
Names enumerate(const Names& entries) {
    hwtest::TempTree tree;
    for (const std::string& entry : entries) tree.mkdir("board/" + entry);
    Names result;
    for (const std::string& path : qx561x::cPortEnumerator("/sys/devices").enumeratePorts(tree.path("board")))
        result.push_back(path.substr(tree.path("board/").size()));
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
    hwtest::TempTree tree;
    EXPECT_EQ(qx561x::cPortEnumerator("/sys/devices").enumeratePorts(tree.path("absent")), Names{});
}

TEST(PortEnumerator, LinkedDirectoriesAreNotEntered) {
    hwtest::TempTree tree;
    tree.mkdir("other/tty/ttyQX561xPort7");
    tree.mkdir("board/tty/ttyQX561xPort1");
    std::filesystem::create_directory_symlink(tree.path("other"), tree.path("board/link"));
    EXPECT_EQ(qx561x::cPortEnumerator("/sys/devices").enumeratePorts(tree.path("board")),
              Names{tree.path("board/tty/ttyQX561xPort1")});
}

}  // namespace
