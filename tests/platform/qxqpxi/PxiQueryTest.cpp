// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "platform/qxerr/Exception.h"
#include "platform/qxqpxi/DynamicQPXILibrary.h"
#include "platform/qxqpxi/Item.h"
#include "tests/platform/ProbeRunner.h"
#include "tests/support/OpenDescriptors.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kFailure = "-52006";  // the stand-in's failure code

// Two chassis: chassis 1 holds two devices in slot 2 and one in slot 5 and has a
// trigger bridge; chassis 4 holds one device and no bridge.
const char* const kModel =
    "device 1 2 3 0 0 PXIe-5612/4 in chassis 1 slot 2\n"
    "device 1 2 3 0 1 second function\n"
    "device 1 5 7 12 0 PXI-5611/2 in chassis 1 slot 5\n"
    "device 4 1 9 1 0 lone board\n"
    "bridge 1 3\n";

class PxiQuery : public ::testing::Test {
protected:
    qxtest::ProbeResult probe(const std::vector<std::string>& args, const char* library,
                              const std::string& model = kModel) {
        return qxtest::runProbe(args, qxtest::standinDir(library),
                                {{"QXQPXI_STANDIN_MODEL", dir_.write("model", model)}});
    }
    // Every handle and container was given back exactly once, and no descriptor stayed.
    static void expectNothingLeft(const qxtest::ProbeResult& result) {
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_EQ(result["standin-open"], "0");
        EXPECT_EQ(result["standin-bad-releases"], "0");
        EXPECT_EQ(result["fds-leaked"], "0");
    }
    qxtest::TempDir dir_;
};

TEST_F(PxiQuery, WithoutTheLibraryConstructionSucceedsAndEveryQueryThrows) {
    const std::set<std::string> before = qxtest::openDescriptors();
    {
        qxerr::Status status;
        qxqpxi::DynamicQPXILibrary library(status);
        EXPECT_FALSE(library.isLoaded());
        EXPECT_EQ(status.getCode(), qxerr::qxapalerr_invalidParameter);
        const std::string report = status.reportText();
        EXPECT_EQ(qxerr::reportGetInt(report.c_str(), "line"), 65);
        EXPECT_NE(report.find("\"path\":\"libqxqpxi.so.1\""), std::string::npos) << report;

        EXPECT_THROW(qxqpxi::Session(0, library), qxerr::Exception);
        qxqpxi::Item nothing(library, 0);
        EXPECT_THROW(nothing.getStringAttribute(qxqpxi::kAttrDescription), qxerr::Exception);
        EXPECT_THROW(nothing.getItems(qxqpxi::kChassisContainer), qxerr::Exception);

        // The owner's form that ignores how loading went behaves the same.
        qxqpxi::DynamicQPXILibrary unchecked;
        EXPECT_THROW(qxqpxi::Session(0, unchecked), qxerr::Exception);
    }
    EXPECT_TRUE(qxtest::descriptorsOpenedSince(before).empty());
}

TEST_F(PxiQuery, AFailedStatusKeepsTheLibraryUnloaded) {
    qxerr::Status status;
    qxerr::setCode(status, qxerr::qxapalerr_osFault);
    qxqpxi::DynamicQPXILibrary library(status);
    EXPECT_FALSE(library.isLoaded());
    EXPECT_EQ(status.getCode(), qxerr::qxapalerr_osFault);
    EXPECT_STREQ(status.reportText(), "");
}

TEST_F(PxiQuery, DeviceDescriptionByPciAddress) {
    struct Case {
        std::vector<std::string> address;
        std::string description;  // empty: the device is unknown
        std::string pciAddress;
    } cases[] = {
        {{"3", "0", "0"}, "PXIe-5612/4 in chassis 1 slot 2", "0:3:0.0"},
        {{"3", "0", "1"}, "second function", "0:3:0.1"},
        {{"7", "12", "0"}, "PXI-5611/2 in chassis 1 slot 5", "0:7:12.0"},
        {{"3", "1", "0"}, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address[0] + ":" + c.address[1] + "." + c.address[2]);
        std::vector<std::string> args = {"pxi-describe"};
        args.insert(args.end(), c.address.begin(), c.address.end());
        const qxtest::ProbeResult result = probe(args, "qxqpxi");
        EXPECT_EQ(result["loaded"], "1");
        EXPECT_EQ(result["load-code"], "0") << result["load-report"];
        if (c.description.empty()) {
            EXPECT_EQ(result["description-error"], kFailure);
            EXPECT_EQ(result["address-error"], kFailure);
        } else {
            EXPECT_EQ(result["description"], c.description);
            EXPECT_EQ(result["address"], c.pciAddress);
        }
        EXPECT_EQ(result["invalidation"], "7");
        expectNothingLeft(result);
    }
}

TEST_F(PxiQuery, LibraryWithoutCancelStillAnswersEverythingElse) {
    const qxtest::ProbeResult result = probe({"pxi-describe", "7", "12", "0"}, "qxqpxi-nocancel");
    EXPECT_EQ(result["loaded"], "1");
    EXPECT_EQ(result["load-code"], std::to_string(qxerr::qxapalerr_invalidParameter));
    EXPECT_NE(result["load-report"].find("\"qxdynlib_symbol\":\"qxqpxi_cancelWaitForInvalidation\""),
              std::string::npos)
        << result["load-report"];
    EXPECT_EQ(result["description"], "PXI-5611/2 in chassis 1 slot 5");
    EXPECT_EQ(result["invalidation"], "7");
    expectNothingLeft(result);
}

TEST_F(PxiQuery, ListingWalksTheWholeSystemAndClosesEveryHandle) {
    const qxtest::ProbeResult result = probe({"pxi-tree"}, "qxqpxi");
    EXPECT_EQ(result["tree"],
              "chassis 1 [ slot 2 { 0:3:0.0 in slot 2 of chassis 1; 0:3:0.1 in slot 2 of chassis 1; }"
              " of chassis 1 slot 5 { 0:7:12.0 in slot 5 of chassis 1; } of chassis 1"
              " bridges 3 of chassis 1 ]"
              "chassis 4 [ slot 1 { 0:9:1.0 in slot 1 of chassis 4; } of chassis 4 bridges ]");
    EXPECT_EQ(result["copy"], "distinct PXIe-5612/4 in chassis 1 slot 2");
    expectNothingLeft(result);
}

TEST_F(PxiQuery, FailureInTheMiddleOfAListingReleasesWhatWasCollected) {
    struct Case {
        const char* rule;
        std::string devices;
    } cases[] = {
        {"", "3"},
        {"fail qxqpxi_ItemIterator_nextItem after 1\n", kFailure},
        {"fail qxqpxi_ItemIterator_end after 3\n", kFailure},
        {"fail qxqpxi_ItemIterator_begin after 1\n", kFailure},
        {"fail qxqpxi_getItemContainer after 1\n", kFailure},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        const qxtest::ProbeResult result = probe({"pxi-devices"}, "qxqpxi", kModel + std::string(c.rule));
        if (c.devices == kFailure) {
            EXPECT_EQ(result["devices-error"], kFailure);
        } else {
            EXPECT_EQ(result["devices"], c.devices);
        }
        expectNothingLeft(result);
    }
}

}  // namespace
