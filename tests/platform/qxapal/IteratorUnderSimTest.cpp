// SPDX-License-Identifier: MIT
// The platform iterator and property reader against the simulated driver's directories.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/qxapal/protons/enumeration/linuxU/tDeviceIterator.h"
#include "shared/qx561x/ProductTable.h"
#include "tests/support/UnderSim.h"

using qxapal::tDeviceIterator;
using qxapal::tStatus;

namespace {

std::vector<std::string> names(tDeviceIterator& iterator) {
    std::vector<std::string> result;
    for (; !iterator.atEnd(); iterator.next()) {
        qxapal::tBasicString name;
        tStatus status;
        iterator.getName(name, &status);
        EXPECT_EQ(status.code, 0);
        result.push_back(name.c_str());
    }
    return result;
}

TEST(DeviceIteratorUnderSim, ListsExactlyTheBoardDirectories) {
    QX_UNDER_SIM("hw_iterator.ini");
    // Plain files beside the board directories are no boards.
    std::ofstream("/proc/driver/qx/version") << "1.0\n";
    std::ofstream("/proc/driver/qx/pci:0000:09:00.0") << "not a directory\n";

    tStatus status;
    tDeviceIterator iterator(&status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(names(iterator),
              (std::vector<std::string>{"pci:0000:02:00.0", "pci:0000:03:00.0"}));
    EXPECT_TRUE(iterator.atEnd());
}

TEST(DeviceIteratorUnderSim, ReadsTheBytesAndSizesOfTheBoardFile) {
    QX_UNDER_SIM("hw_iterator.ini");
    tStatus status;
    tDeviceIterator iterator(&status);
    ASSERT_FALSE(iterator.atEnd());
    iterator.next();  // pci:0000:03:00.0, the ordinary board

    uint32_t vendor = 0, device = 0;
    std::size_t count = 0;
    iterator.readBusProperty("pciVendorID", &vendor, sizeof vendor, &count, &status);
    EXPECT_EQ(count, 4u);
    iterator.readBusProperty("pciDeviceID", &device, sizeof device, nullptr, &status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(vendor, qx561x::kPciVendorId);
    EXPECT_EQ(device, 0x7008u);

    char serial[16] = {};
    iterator.readDeviceProperty("serialNumber", serial, sizeof serial, &count, &status);
    ASSERT_EQ(status.code, 0);
    EXPECT_EQ(count, 9u);
    EXPECT_EQ(std::string(serial, count), std::string("1A2B3C4D", 9));

    char tooSmall[2] = {};
    iterator.readBusProperty("pciBusNumber", tooSmall, sizeof tooSmall, &count, &status);
    EXPECT_EQ(status.code, -52019);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(status.line, 72u);

    // Nothing happens once the status holds the error.
    count = 0;
    iterator.readBusProperty("pciBusNumber", &vendor, sizeof vendor, &count, &status);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(status.code, -52019);
}

TEST(DeviceIteratorUnderSim, MissingAndOversizedFiles) {
    QX_UNDER_SIM("hw_iterator.ini");
    tStatus status;
    tDeviceIterator iterator(&status);
    ASSERT_FALSE(iterator.atEnd());  // pci:0000:02:00.0, the odd board

    std::vector<char> buffer(5000);
    std::size_t count = 0;
    iterator.readDeviceProperty("serialNumber", buffer.data(), buffer.size(), &count, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(count, 4096u);
    EXPECT_EQ(buffer[4095], 'Z');

    count = 77;
    iterator.readBusProperty("pciSlotPath", buffer.data(), buffer.size(), &count, &status);
    EXPECT_EQ(status.code, -52006);
    EXPECT_EQ(status.line, 87u);
    EXPECT_STREQ(status.file, "qxapal/protons/enumeration/linuxU/linuxDevEnumHelper");
    EXPECT_EQ(count, 77u);
}

TEST(DeviceIteratorUnderSim, VanishedBoardFailsItsReads) {
    QX_UNDER_SIM("hw_iterator.ini");
    tStatus status;
    tDeviceIterator iterator(&status);
    std::filesystem::remove_all("/proc/driver/qx/pci:0000:02:00.0");
    ASSERT_FALSE(iterator.atEnd());  // the snapshot still holds it
    uint32_t value = 0;
    iterator.readBusProperty("pciDeviceID", &value, sizeof value, nullptr, &status);
    EXPECT_EQ(status.code, -52006);
}

}  // namespace
