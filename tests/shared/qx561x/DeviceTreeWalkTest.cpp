// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <boost/filesystem.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/qxerr/Exception.h"
#include "shared/qx561x/DeviceTreeWalk.h"
#include "tests/support/TempDir.h"

namespace {

using Paths = std::vector<std::string>;
namespace fs = std::filesystem;

// Boards, ports, files, links of every kind, empty directories, and one directory too big
// for a single read of its entries.
void buildTree(const qxtest::TempDir& tree) {
    tree.mkdir("devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty/ttyQX561xPort4");
    tree.write("devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty/ttyQX561xPort4/uevent", "x");
    tree.mkdir("devices/pci0000:00/0000:00:1c.0/0000:03:00.0/power");
    tree.write("devices/pci0000:00/0000:00:1c.0/0000:03:00.0/vendor", "0x5158");
    tree.mkdir("devices/virtual/empty");
    tree.mkdir("devices/virtual/0000:03:00.0");
    const std::string longName(60, 'n');
    for (int i = 0; i < 600; ++i) tree.mkdir("devices/virtual/misc/" + longName + std::to_string(i));
    fs::create_directory_symlink(tree.file("devices/pci0000:00"), tree.file("devices/virtual/linked-dir"));
    fs::create_symlink(tree.file("devices/pci0000:00/0000:00:1c.0/0000:03:00.0/vendor"),
                       tree.file("devices/virtual/linked-file"));
    fs::create_symlink(tree.file("nowhere"), tree.file("devices/virtual/dangling"));
}

// What the Boost walk the enumerators used before lists; removes `doomed` when it meets it.
Paths boostWalk(const std::string& root, const std::string& doomed = {}) {
    Paths paths;
    try {
        boost::filesystem::recursive_directory_iterator entry(root);
        for (const boost::filesystem::recursive_directory_iterator end; entry != end; ++entry) {
            paths.push_back(entry->path().string());
            if (paths.back() == doomed) fs::remove_all(doomed);
        }
    } catch (const boost::filesystem::filesystem_error&) {
        paths.push_back("(failed)");
    }
    return paths;
}

Paths ourWalk(const std::string& root, const std::string& doomed = {}) {
    Paths paths;
    try {
        qx561x::walkDeviceTree(root, [&](const std::string& path, std::size_t nameOffset) {
            EXPECT_EQ(path.substr(nameOffset), fs::path(path).filename().string());
            paths.push_back(path);
            if (path == doomed) fs::remove_all(doomed);
        });
    } catch (const qxerr::Exception&) {
        paths.push_back("(failed)");
    }
    return paths;
}

TEST(DeviceTreeWalk, ListsWhatTheBoostWalkListsInItsOrder) {
    qxtest::TempDir tree;
    buildTree(tree);
    for (const std::string& root : {tree.file("devices"), tree.file("devices/"),
                                   tree.file("devices//virtual"), tree.file("devices/absent"),
                                   tree.file("devices/virtual/linked-dir")}) {
        SCOPED_TRACE(root);
        const Paths expected = boostWalk(root);
        EXPECT_EQ(ourWalk(root), expected);
    }
    EXPECT_EQ(ourWalk(tree.file("devices")).size(), 615u);
}

// A directory removed after it was listed (a board unplugged meanwhile) is passed over and
// the walk goes on: the Boost walk would have ended there, hiding every later board.
TEST(DeviceTreeWalk, ADirectoryRemovedDuringTheWalkIsPassedOver) {
    qxtest::TempDir first, second;
    buildTree(first);
    buildTree(second);
    const std::string doomed = "devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty";
    Paths expected;
    for (const std::string& path : boostWalk(first.file("devices")))
        if (path.rfind(first.file(doomed) + "/", 0) != 0)
            expected.push_back(second.path() + path.substr(first.path().size()));
    ASSERT_EQ(expected.size(), 613u);
    EXPECT_EQ(ourWalk(second.file("devices"), second.file(doomed)), expected);
}

}  // namespace
