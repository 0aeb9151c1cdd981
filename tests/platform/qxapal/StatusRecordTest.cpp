// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/qxapal/protons/containers/tBasicString.h"
#include "platform/qxapal/tStatus.h"
#include "platform/qxerr/Exception.h"

using qxapal::tStatus;

namespace {

bool allZero(const char* begin, const char* end) {
    for (; begin != end; ++begin)
        if (*begin != 0) return false;
    return true;
}

TEST(StatusRecord, FieldsFollowTheRecordRules) {
    const std::string longPath = std::string(60, 'a') + std::string(60, 'z');  // 120 characters
    const std::string exact100(100, 'p');
    struct Case { const char* component; std::string file; std::string storedComponent; std::string storedFile; };
    const Case cases[] = {
        {"qxserialconfig", "qxapal/x", "qxserialc", "qxapal/x"},
        {"qx561xsae", exact100, "qx561xsae", exact100},
        {"qx561xsae", longPath, "qx561xsae", std::string(49, 'a') + ".." + std::string(49, 'z')},
    };
    for (const Case& c : cases) {
        tStatus status;
        ASSERT_TRUE(qxapal::setCodeWithFileLine(&status, -52006, c.component, c.file.c_str(),
                                                0x100000007ull));
        EXPECT_EQ(status.code, -52006);
        EXPECT_EQ(std::string(status.component), c.storedComponent);
        EXPECT_EQ(std::string(status.file), c.storedFile);
        EXPECT_EQ(status.line, 0x100000007ull);
        EXPECT_EQ(status.reserved, 0u);
        const char* raw = reinterpret_cast<const char*>(&status);
        EXPECT_TRUE(allZero(raw + offsetof(tStatus, reserved) + 8, raw + sizeof status));
    }
}

TEST(StatusRecord, SmallRecordReceivesOnlyTheCode) {
    tStatus status;
    status.structSize = 16;
    ASSERT_TRUE(qxapal::setCodeWithFileLine(&status, -52006, "qx561xsae", "some/file", 9));
    EXPECT_EQ(status.code, -52006);
    EXPECT_EQ(status.file[0], '\0');
    EXPECT_EQ(status.line, 0u);
}

TEST(StatusRecord, FirstErrorWinsAndKeepsItsLocation) {
    tStatus status;
    ASSERT_TRUE(qxapal::setCodeWithFileLine(&status, 7, "c", "warning/site", 1));
    ASSERT_TRUE(qxapal::setCodeWithFileLine(&status, -52019, "c", "first/error", 2));
    EXPECT_FALSE(qxapal::setCodeWithFileLine(&status, -52006, "c", "second/error", 3));
    EXPECT_FALSE(qxapal::setCode(&status, 0));
    EXPECT_EQ(status.code, -52019);
    EXPECT_STREQ(status.file, "first/error");
    EXPECT_EQ(status.line, 2u);
}

TEST(StatusRecord, ConvertsIntoExceptionWithLocationMembers) {
    tStatus status;
    qxapal::setCodeWithFileLine(&status, -52006, "qx561xsae-long",
                                "qxapal/protons/enumeration/linuxU/linuxDevEnumHelper", 87);
    try {
        qxapal::throwIfFatal(status);
        FAIL() << "nothing thrown";
    } catch (const qxerr::Exception& e) {
        EXPECT_EQ(e.getCode(), -52006);
        EXPECT_STREQ(e.what(), R"({"file":"qxapal/protons/enumeration/linuxU/linuxDevEnumHelper",)"
                               R"("line":87,"component":"qx561xsae"})");
    }
}

TEST(StatusRecord, ConversionWithoutLocationCarriesOnlyTheCode) {
    tStatus small;
    small.structSize = 16;
    qxapal::setCodeWithFileLine(&small, -52005, "c", "f", 1);
    tStatus bare;
    qxapal::setCode(&bare, -52003);
    for (const tStatus* s : {&small, &bare}) {
        const qxerr::Status converted = qxapal::toStatus(*s);
        EXPECT_EQ(converted.getCode(), s->code);
        EXPECT_STREQ(converted.reportText(), "");
    }
}

TEST(StatusRecord, NoThrowForSuccessOrWarningOrWhileUnwinding) {
    tStatus warning;
    qxapal::setCode(&warning, 5);
    EXPECT_NO_THROW(qxapal::throwIfFatal(warning));

    struct ThrowsInDestructor {
        tStatus status;
        ~ThrowsInDestructor() { qxapal::throwIfFatal(status); }
    };
    try {
        ThrowsInDestructor guard;
        qxapal::setCode(&guard.status, -52006);
        throw std::runtime_error("first");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "first");
    }
}

TEST(BasicString, AssignReusesOrGrowsAndClears) {
    qxapal::tBasicString s;
    EXPECT_EQ(s.data(), nullptr);
    EXPECT_STREQ(s.c_str(), "");
    ASSERT_TRUE(s.assign("pci:0000:03:00.0"));
    EXPECT_STREQ(s.data(), "pci:0000:03:00.0");
    EXPECT_EQ(s.length(), 16u);
    EXPECT_EQ(s.capacity(), 17u);
    const char* buffer = s.data();
    ASSERT_TRUE(s.assign("short"));
    EXPECT_EQ(s.data(), buffer);
    EXPECT_STREQ(s.data(), "short");
    ASSERT_TRUE(s.assign(s.data() + 1, 3));  // from its own buffer
    EXPECT_STREQ(s.data(), "hor");
    ASSERT_TRUE(s.assign(std::string(40, 'x').c_str()));
    EXPECT_EQ(s.length(), 40u);
    EXPECT_EQ(s.capacity(), 41u);
    s.clear();
    EXPECT_EQ(s.length(), 0u);
    EXPECT_STREQ(s.data(), "");
    EXPECT_FALSE(s.allocationFailed());
}

}  // namespace
