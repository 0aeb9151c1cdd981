// SPDX-License-Identifier: MIT
// What a person's NAME means, and how boards and ports are grouped, over bags made here.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/Catalog.h"
#include "qx561xsae/ItemNames.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace {

using qxhost::Catalog;
using sysapicpp::PropertyBagHandle;

const std::string kBoardPath = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0";
const std::string kOtherBoardPath = "/sys/devices/pci0000:00/0000:00:1c.1/0000:0a:00.0";

PropertyBagHandle boardBag(const std::string& path, int32_t ports) {
    PropertyBagHandle bag = PropertyBagHandle::createEmpty();
    bag.setString(sysapicpp::Name, qx561xsae::makeDeviceName(path));
    bag.setInt32(sysapicpp::PortCount, ports);
    return bag;
}

PropertyBagHandle portBag(const std::string& boardPath, int index, int32_t number) {
    const std::string node = "ttyQX561xPort" + std::to_string(index);
    PropertyBagHandle bag = PropertyBagHandle::createEmpty();
    bag.setString(sysapicpp::Name, qx561xsae::makePortName(boardPath + "/tty/" + node));
    bag.setString(sysapicpp::ParentDevice, qx561xsae::makeDeviceName(boardPath));
    bag.setInt32(sysapicpp::PortNumber, number);
    bag.setString(sysapicpp::PortNode, "/dev/" + node);
    return bag;
}

std::string port(const std::string& boardPath, int index) {
    return qx561xsae::makePortName(boardPath + "/tty/ttyQX561xPort" + std::to_string(index));
}

std::vector<std::string> names(const std::vector<const qxhost::CatalogItem*>& items) {
    std::vector<std::string> result;
    for (const qxhost::CatalogItem* item : items) result.push_back(item->name);
    return result;
}

// Two boards, the second with one of its two ports missing; ports in the plug-in's order,
// not the board's; a bag without a name and one with a foreign name are no items.
Catalog machine() {
    PropertyBagHandle foreign = PropertyBagHandle::createEmpty();
    foreign.setString(sysapicpp::Name, "other:thing");
    return Catalog({portBag(kBoardPath, 5, 2), boardBag(kBoardPath, 2), PropertyBagHandle::createEmpty(), foreign,
                    portBag(kBoardPath, 4, 1), boardBag(kOtherBoardPath, 2), portBag(kOtherBoardPath, 10, 1),
                    portBag("/sys/devices/pci0000:00/0000:00:1c.2/0000:0b:00.0", 20, 1)});
}

TEST(Catalog, ANameMeansTheItemAPersonMeantByIt) {
    const Catalog catalog = machine();
    const std::string board = qx561xsae::makeDeviceName(kBoardPath);
    const struct {
        std::string typed;
        std::string item;  // "" for none
    } cases[] = {
        {port(kBoardPath, 5), port(kBoardPath, 5)},
        {"/dev/ttyQX561xPort5", port(kBoardPath, 5)},
        {"/dev//ttyQX561xPort5/", port(kBoardPath, 5)},
        {"/dev/./ttyQX561xPort4", port(kBoardPath, 4)},
        {"/dev/ttyQX561xPort", ""},
        {"/dev/ttyQX561xPort50", ""},
        {kBoardPath + "/tty/ttyQX561xPort5", port(kBoardPath, 5)},
        {kBoardPath + "/tty/ttyQX561xPort5/", port(kBoardPath, 5)},
        {"/sys/devices/pci0000:00//0000:00:1c.0/./0000:03:00.0/tty/ttyQX561xPort4", port(kBoardPath, 4)},
        {kBoardPath, board},
        {kBoardPath + "/", board},
        {board, board},
        {"0000:03:00.0", board},
        {"03:00.0", board},
        {"0000:0A:00.0", qx561xsae::makeDeviceName(kOtherBoardPath)},
        {"0A:00.0", qx561xsae::makeDeviceName(kOtherBoardPath)},
        {"0000:03:00.1", ""},
        {"3:00.0", ""},
        {"00.0", ""},
        {"ttyQX561xPort5", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        const qxhost::CatalogItem* found = catalog.find(c.typed);
        EXPECT_EQ(found ? found->name : "", c.item) << c.typed;
    }
}

TEST(Catalog, PortsGoWithTheirBoardInTheirOrder) {
    const Catalog catalog = machine();
    EXPECT_EQ(catalog.items().size(), 6u);
    const std::vector<const qxhost::CatalogItem*> boards = catalog.boards();
    ASSERT_EQ(boards.size(), 2u);
    EXPECT_EQ(boards[0]->path, kBoardPath);
    EXPECT_EQ(names(catalog.portsOf(*boards[0])), (std::vector<std::string>{port(kBoardPath, 4), port(kBoardPath, 5)}));
    EXPECT_EQ(names(catalog.incompleteBoards()), std::vector<std::string>{boards[1]->name});
    EXPECT_EQ(names(catalog.unlistedBoardPorts()),
              std::vector<std::string>{port("/sys/devices/pci0000:00/0000:00:1c.2/0000:0b:00.0", 20)});
    const qxhost::CatalogItem* p = catalog.find("/dev/ttyQX561xPort5");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->number, 2);
    EXPECT_EQ(p->board, boards[0]->name);
}

TEST(Catalog, AnItemNameSaysItsKindPathAndHowAPersonNamesIt) {
    const auto board = qxhost::identify(qx561xsae::makeDeviceName(kBoardPath));
    ASSERT_TRUE(board);
    EXPECT_EQ(board->kind, qxhost::ItemKind::Board);
    EXPECT_EQ(board->path, kBoardPath);
    EXPECT_EQ(board->personName, "0000:03:00.0");
    const auto p = qxhost::identify(port(kBoardPath, 5));
    ASSERT_TRUE(p);
    EXPECT_EQ(p->kind, qxhost::ItemKind::Port);
    EXPECT_EQ(p->path, kBoardPath + "/tty/ttyQX561xPort5");
    EXPECT_EQ(p->personName, "/dev/ttyQX561xPort5");
    for (const char* other : {"", "/dev/ttyQX561xPort5", "0000:03:00.0", "other:thing"})
        EXPECT_FALSE(qxhost::identify(other)) << other;
}

}  // namespace
