// SPDX-License-Identifier: MIT
// Board and port enumeration, accessors and factories against the simulated driver.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "platform/qxerr/Exception.h"
#include "shared/qx561x/cDeviceEnumerator.h"
#include "shared/qx561x/cDeviceIteratorFactory.h"
#include "shared/qx561x/cEnumeratorFactory.h"
#include "shared/qx561x/ProductTable.h"
#include "shared/qx561x/cPropertyAccessorFactory.h"
#include "tests/support/Failure.h"
#include "tests/support/TempDir.h"
#include "tests/support/UnderSim.h"

using namespace qx561x;
using Paths = std::vector<std::string>;

namespace {

const std::string kRs485Board = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0";
const std::string kRs232Board = "/sys/devices/pci0000:00/0000:00:1d.0/0000:07:00.0";

std::string port(const std::string& board, int index) {
    return board + "/tty/ttyQX561xPort" + std::to_string(index);
}

using qxtest::failure;

TEST(DeviceEnumerationUnderSim, ListsOurBoardsInDriverOrderAndSkipsTheRest) {
    QX_UNDER_SIM("hw_machine.ini");
    EXPECT_EQ(cEnumeratorFactory().createDeviceEnumerator()->enumerateDevices(),
              (Paths{kRs485Board, kRs232Board}));
}

// A driver directory with our vendor and a supported device ID, made by hand.
void addDriverDirectory(const std::string& name) {
    const std::filesystem::path properties = "/proc/driver/qx/" + name + "/busProperties";
    std::filesystem::create_directories(properties);
    const uint32_t vendor = kPciVendorId, device = 0x7008;
    std::ofstream(properties / "pciVendorID").write(reinterpret_cast<const char*>(&vendor), 4);
    std::ofstream(properties / "pciDeviceID").write(reinterpret_cast<const char*>(&device), 4);
}

TEST(DeviceEnumerationUnderSim, BoardNowhereInTheTreeAndNameWithoutPrefix) {
    QX_UNDER_SIM("hw_machine.ini");
    addDriverDirectory("pci:0000:01:00.0");  // the device tree lacks this function
    addDriverDirectory("0000:00:1c.0");      // searched for under its whole name
    EXPECT_EQ(cEnumeratorFactory().createDeviceEnumerator()->enumerateDevices(),
              (Paths{"/sys/devices/pci0000:00/0000:00:1c.0", kRs485Board, kRs232Board}));
}

// The walk runs to its end: a second directory named like the board is listed too. The
// kernel's index names the function's own directory, which is all that is listed where it
// answers.
TEST(DeviceEnumerationUnderSim, EveryDirectoryNamedLikeTheBoardIsListedByTheWalk) {
    QX_UNDER_SIM("hw_machine.ini");
    const std::string twin = "/sys/devices/pci0000:40/0000:03:00.0";
    std::filesystem::create_directories(twin);
    EXPECT_EQ(cEnumeratorFactory().createDeviceEnumerator()->enumerateDevices(),
              (Paths{kRs485Board, kRs232Board}));

    std::filesystem::remove("/sys/bus/pci/devices/0000:03:00.0");
    Paths found = cEnumeratorFactory().createDeviceEnumerator()->enumerateDevices();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found.back(), kRs232Board);
    found.pop_back();
    std::sort(found.begin(), found.end());  // one board's entries come in walk order
    EXPECT_EQ(found, (Paths{kRs485Board, twin}));
}

// A board found through the index is written under the root as the walk writes it, however
// the root is spelt.
TEST(DeviceEnumerationUnderSim, TheIndexAnswersAsTheWalkForEverySpellingOfTheRoot) {
    QX_UNDER_SIM("hw_machine.ini");
    const qxtest::TempDir dir;
    std::filesystem::create_directory_symlink("/sys/devices", dir.file("devices"));
    for (const std::string& root : Paths{"/sys/devices", "/sys/devices/", "/sys//devices", "/sys/./devices",
                                         dir.file("devices"), "/sys/devices/pci0000:00"}) {
        const auto enumerate = [&](const std::string& index) {
            return cDeviceEnumerator(std::make_unique<cDeviceIteratorFactory>(), root, index)
                .enumerateDevices();
        };
        const Paths walked = enumerate("");
        EXPECT_EQ(walked.size(), 2u) << root;
        EXPECT_EQ(enumerate("/sys/bus/pci/devices"), walked) << root;
    }
}

TEST(DeviceEnumerationUnderSim, MissingRootGivesAnEmptyListWithoutError) {
    QX_UNDER_SIM("hw_machine.ini");
    cDeviceEnumerator enumerator(std::make_unique<cDeviceIteratorFactory>(), "/sys/no-such-root");
    EXPECT_EQ(enumerator.enumerateDevices(), Paths{});
}

TEST(PortEnumerationUnderSim, NumericOrderAndMissingBoard) {
    QX_UNDER_SIM("hw_machine.ini");
    auto enumerator = cEnumeratorFactory().createPortEnumerator();
    EXPECT_EQ(enumerator->enumeratePorts(kRs485Board),
              (Paths{port(kRs485Board, 9), port(kRs485Board, 10), port(kRs485Board, 11),
                     port(kRs485Board, 12)}));
    EXPECT_EQ(enumerator->enumeratePorts(kRs232Board),
              (Paths{port(kRs232Board, 0), port(kRs232Board, 1)}));
    EXPECT_EQ(enumerator->enumeratePorts("/sys/devices/pci0000:00/0000:00:1c.0/0000:0a:00.0"),
              Paths{});
}

TEST(DeviceAccessorUnderSim, AnswersFromDriverFilesAndProductTable) {
    QX_UNDER_SIM("hw_machine.ini");
    auto board = cPropertyAccessorFactory().createDevicePropertyAccessor(kRs485Board);
    EXPECT_EQ(board->getDevicePath(), kRs485Board);
    EXPECT_EQ(board->getPciDeviceId(), 0x700Bu);
    EXPECT_EQ(board->getPciSlotPath(), "3");
    EXPECT_EQ(board->getPciBusNumber(), 3u);
    EXPECT_EQ(board->getPciDeviceNumber(), 0u);
    EXPECT_EQ(board->getPciFunctionNumber(), 0u);
    EXPECT_EQ(board->getSerialNumber(), "0001A2B3");
    EXPECT_EQ(board->getModelName(), "PCI-5613/4");
    EXPECT_EQ(board->getPortCount(), 4);
    EXPECT_EQ(board->getBusType(), kBusPci);
    EXPECT_EQ(board->getDescription(), "RS-485 SN:0001A2B3");
    auto rs232 = cPropertyAccessorFactory().createDevicePropertyAccessor(kRs232Board);
    EXPECT_EQ(rs232->getDescription(), "RS-232 SN:ABCDEFGH");
}

TEST(DeviceAccessorUnderSim, SerialNumberPaddingAndShortNumbers) {
    QX_UNDER_SIM("hw_serials.ini");
    struct Case { std::string board; std::string serial; };
    const Case cases[] = {
        {"/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0", "ABCDEFGH"},   // n = 9
        {"/sys/devices/pci0000:00/0000:00:1c.1/0000:04:02.1", "00000ABC"},   // n = 4
        {"/sys/devices/pci0000:00/0000:00:1c.2/0000:05:0d.0", "0ABCDEFGH"},  // n = 8, no NUL
    };
    for (const Case& c : cases) {
        auto board = cPropertyAccessorFactory().createDevicePropertyAccessor(c.board);
        EXPECT_EQ(board->getSerialNumber(), c.serial) << c.board;
    }
    auto twoByteBus = cPropertyAccessorFactory().createDevicePropertyAccessor(cases[0].board);
    EXPECT_EQ(twoByteBus->getPciBusNumber(), 3u);
    auto odd = cPropertyAccessorFactory().createDevicePropertyAccessor(cases[2].board);
    EXPECT_EQ(odd->getPciDeviceNumber(), 0x0du);

    auto noSlot = cPropertyAccessorFactory().createDevicePropertyAccessor(
        "/sys/devices/pci0000:00/0000:00:1c.3/0000:06:00.0");
    EXPECT_EQ(failure([&] { noSlot->getPciSlotPath(); }), std::make_pair(-52006, int64_t{189}));
}

TEST(DeviceAccessorUnderSim, RemovedBoardFailsOnlyTheFileReads) {
    QX_UNDER_SIM("hw_machine.ini");
    auto board = cPropertyAccessorFactory().createDevicePropertyAccessor(kRs485Board);
    std::filesystem::remove_all("/proc/driver/qx/pci:0000:03:00.0");

    const std::pair<int32_t, int64_t> gone{-52006, 189};
    EXPECT_EQ(failure([&] { board->getPciSlotPath(); }), gone);
    EXPECT_EQ(failure([&] { board->getPciBusNumber(); }), gone);
    EXPECT_EQ(failure([&] { board->getPciDeviceNumber(); }), gone);
    EXPECT_EQ(failure([&] { board->getPciFunctionNumber(); }), gone);
    EXPECT_EQ(failure([&] { board->getSerialNumber(); }), gone);
    EXPECT_EQ(failure([&] { board->getDescription(); }), gone);
    EXPECT_EQ(board->getDevicePath(), kRs485Board);
    EXPECT_EQ(board->getPciDeviceId(), 0x700Bu);
    EXPECT_EQ(board->getModelName(), "PCI-5613/4");
    EXPECT_EQ(board->getPortCount(), 4);
    EXPECT_EQ(board->getBusType(), kBusPci);
}

TEST(DeviceAccessorUnderSim, BoardOutsideTheProductTableCannotBeDescribed) {
    QX_UNDER_SIM("hw_machine.ini");
    const std::string unknown = "/sys/devices/pci0000:00/0000:00:1c.2/0000:05:00.0";
    cPropertyAccessorFactory factory;
    EXPECT_EQ(failure([&] { factory.createDevicePropertyAccessor(unknown); }),
              std::make_pair(-52005, int64_t{21}));
    EXPECT_EQ(failure([&] { factory.createPortPropertyAccessor(port(unknown, 30)); }),
              std::make_pair(-52005, int64_t{21}));
}

TEST(PortAccessorUnderSim, NumbersIdentifiersAndNodes) {
    QX_UNDER_SIM("hw_machine.ini");
    cPropertyAccessorFactory factory;
    struct Case { std::string portName; std::size_t number; std::string identifier; bool rs232; };
    const Case cases[] = {
        {port(kRs485Board, 9), 1, "qx561x:700b:3:1", false},
        {port(kRs485Board, 10), 2, "qx561x:700b:3:2", false},
        {port(kRs485Board, 12), 4, "qx561x:700b:3:4", false},
        {port(kRs232Board, 1), 2, "qx561x:7039:7:2", true},
        // A doubled separator names the same entry.
        {"/sys/devices/pci0000:00//0000:00:1c.0/0000:03:00.0/tty//ttyQX561xPort11", 3,
         "qx561x:700b:3:3", false},
    };
    for (const Case& c : cases) {
        auto accessor = factory.createPortPropertyAccessor(c.portName);
        const std::string node =
            "/dev/" + std::filesystem::path(c.portName).filename().string();
        EXPECT_EQ(accessor->getPortNumber(), c.number) << c.portName;
        EXPECT_EQ(accessor->getPortIdentifier(), c.identifier) << c.portName;
        EXPECT_EQ(accessor->getPortDevicePath(), node);
        EXPECT_TRUE(std::filesystem::exists(node)) << node;
        EXPECT_EQ(accessor->isRs232(), c.rs232);
        EXPECT_EQ(accessor->getRxFifoDepthMax(), 127u);
    }
}

TEST(PortAccessorUnderSim, PortNotOnItsBoard) {
    QX_UNDER_SIM("hw_machine.ini");
    cPropertyAccessorFactory factory;
    // Gone, another board's index, and a directory the board does not list ports in.
    for (const std::string& name : {port(kRs485Board, 13), port(kRs485Board, 0),
                                    kRs485Board + "/other/ttyQX561xPort9"}) {
        auto accessor = factory.createPortPropertyAccessor(name);
        EXPECT_EQ(accessor->getPortDevicePath(), "/dev/" + std::filesystem::path(name).filename().string());
        const std::pair<int32_t, int64_t> notOnBoard{-52003, 67};
        EXPECT_EQ(failure([&] { accessor->getPortNumber(); }), notOnBoard) << name;
        EXPECT_EQ(failure([&] { accessor->getPortIdentifier(); }), notOnBoard) << name;
    }
}

}  // namespace

namespace {

std::vector<std::string> pxiEnvironment() {
    return {"LD_LIBRARY_PATH=" + qxtest::testPxiLibraryDirectory(),
            std::string("QXQPXI_STANDIN_MODEL=") + QX_TEST_DATA_DIR + "/hw_pxi_model.txt"};
}

TEST(DeviceAccessorUnderSim, DescriptionFromTheTestPxiLibrary) {
    QX_UNDER_SIM("hw_machine.ini", pxiEnvironment());
    cPropertyAccessorFactory factory;
    // The PXI system knows the RS-485 board by its bus address, not the RS-232 one.
    EXPECT_EQ(factory.createDevicePropertyAccessor(kRs485Board)->getDescription(),
              "PXI1 Slot 4: isolated RS-485 board");
    EXPECT_EQ(factory.createDevicePropertyAccessor(kRs232Board)->getDescription(),
              "RS-232 SN:ABCDEFGH");
}

}  // namespace
