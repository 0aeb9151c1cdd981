// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/qxapal/protons/enumeration/linuxU/linuxDevEnumHelper.h"
#include "platform/qxapal/protons/enumeration/linuxU/tDeviceIterator.h"
#include "tests/support/TempDir.h"

using qxapal::readPropertyFile;
using qxapal::tStatus;

namespace {

class PropertyFile : public ::testing::Test {
protected:
    std::string write(const std::string& name, const std::string& bytes) { return dir_.write(name, bytes); }

    qxtest::TempDir dir_;
};

TEST_F(PropertyFile, ReadsIntoLargeEnoughBufferWithoutTerminator) {
    const std::string path = write("pciBusNumber", std::string("\x03\x00\x00\x00", 4));
    unsigned char buffer[8];
    std::memset(buffer, 0xEE, sizeof buffer);
    std::size_t count = 99;
    tStatus status;
    readPropertyFile(path.c_str(), buffer, 4, &count, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(count, 4u);
    EXPECT_EQ(buffer[0], 3);
    EXPECT_EQ(buffer[3], 0);
    EXPECT_EQ(buffer[4], 0xEE);
}

TEST_F(PropertyFile, ShortBufferOrSizeQueryStillReportsTheCount) {
    const std::string path = write("serialNumber", "ABCDEFGH");
    for (bool withBuffer : {true, false}) {
        char buffer[2] = {'x', 'y'};
        std::size_t count = 0;
        tStatus status;
        readPropertyFile(path.c_str(), withBuffer ? buffer : nullptr, sizeof buffer, &count,
                         &status);
        EXPECT_EQ(status.code, -52019);
        EXPECT_EQ(count, 8u);
        EXPECT_EQ(status.line, 72u);
        EXPECT_STREQ(status.file, "qxapal/protons/enumeration/linuxU/linuxDevEnumHelper");
        EXPECT_EQ(buffer[0], 'x');
    }
}

TEST_F(PropertyFile, LongFileIsCutAt4096Bytes) {
    const std::string path = write("big", std::string(5000, 'q'));
    std::vector<char> buffer(5000, 0);
    std::size_t count = 0;
    tStatus status;
    readPropertyFile(path.c_str(), buffer.data(), buffer.size(), &count, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(count, 4096u);
    EXPECT_EQ(buffer[4095], 'q');
    EXPECT_EQ(buffer[4096], 0);
}

TEST_F(PropertyFile, EmptyFileIsZeroBytes) {
    const std::string path = write("empty", "");
    std::size_t count = 7;
    tStatus status;
    char buffer[1];
    readPropertyFile(path.c_str(), buffer, 0, &count, &status);
    EXPECT_EQ(status.code, 0);
    EXPECT_EQ(count, 0u);
}

TEST_F(PropertyFile, OpenAndReadFailuresNameTheirSites) {
    struct Case { std::string path; int64_t code; uint64_t line; };
    const Case cases[] = {
        {dir_.file("missing"), -52006, 87},
        {dir_.path(), -52024, 78},  // a directory opens but cannot be read
    };
    for (const Case& c : cases) {
        std::size_t count = 123;
        char buffer[16];
        tStatus status;
        readPropertyFile(c.path.c_str(), buffer, sizeof buffer, &count, &status);
        EXPECT_EQ(status.code, c.code) << c.path;
        EXPECT_EQ(status.line, c.line) << c.path;
        EXPECT_EQ(count, 123u) << "count written on failure for " << c.path;
    }
}

TEST_F(PropertyFile, DoesNothingOnceStatusHoldsAnError) {
    const std::string path = write("pciVendorID", "abcd");
    tStatus status;
    qxapal::setCodeWithFileLine(&status, -52005, "c", "earlier/site", 5);
    char buffer[4] = {};
    std::size_t count = 0;
    readPropertyFile(path.c_str(), buffer, sizeof buffer, &count, &status);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(status.code, -52005);
    EXPECT_STREQ(status.file, "earlier/site");
}

// This machine has no board driver; inside the simulator the other tests cover listing.
TEST(DeviceIteratorWithoutDriver, AtEndAtOnceWithoutError) {
    struct stat info;
    if (::stat("/proc/driver/qx", &info) == 0) GTEST_SKIP() << "a driver directory exists here";
    tStatus status;
    qxapal::tDeviceIterator iterator(&status);
    EXPECT_EQ(status.code, 0);
    EXPECT_TRUE(iterator.atEnd());
    char buffer[4];
    std::size_t count = 0;
    iterator.readBusProperty("pciVendorID", buffer, sizeof buffer, &count, &status);
    EXPECT_EQ(status.code, -52006);
}

}  // namespace
