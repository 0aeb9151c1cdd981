// SPDX-License-Identifier: MIT
// Item names: escaping keeps any identifier recoverable, malformed names are refused at
// their own lines.

#include <gtest/gtest.h>

#include <functional>

#include "platform/qxerr/Status.h"
#include "qx561xsae/ItemNames.h"
#include "sysapicpp/HResultException.h"

using namespace qx561xsae;

namespace {

TEST(ItemNames, EscapingRoundTripsIdentifiersThatLookLikeEscapes) {
    const struct {
        std::string identifier;
        std::string escaped;
    } cases[] = {
        {"/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0",
         "/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0"},
        {"a:b|c", "a|3Ab|7Cc"},
        {"|3A", "|7C3A"},
        {"|7C:", "|7C7C|3A"},
        {"::||", "|3A|3A|7C|7C"},
        {"plain", "plain"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escapeIdentifier(c.identifier), c.escaped);
        EXPECT_EQ(makeDeviceName(c.identifier), "device:" + c.escaped);
        EXPECT_EQ(deviceIdFromName(makeDeviceName(c.identifier)), c.identifier);
        EXPECT_EQ(portIdFromName(makePortName(c.identifier)), c.identifier);
        EXPECT_TRUE(isPortName(makePortName(c.identifier)));
        EXPECT_FALSE(isDeviceName(makePortName(c.identifier)));
    }
}

TEST(ItemNames, MalformedNamesDoNotExist) {
    const struct {
        std::function<void()> call;
        int32_t line;
    } cases[] = {
        {[] { makeDeviceName(""); }, 45},        {[] { makePortName(""); }, 72},
        {[] { deviceIdFromName("port:x"); }, 56}, {[] { deviceIdFromName("device:"); }, 61},
        {[] { portIdFromName(" port:x"); }, 83},  {[] { portIdFromName("port:"); }, 88},
    };
    for (const auto& c : cases) {
        try {
            c.call();
            ADD_FAILURE() << "line " << c.line << " did not raise";
        } catch (const sysapicpp::ItemNotExistException& e) {
            EXPECT_EQ(e.getCode(), sysapicpp::E_SYSAPI_ITEM_NOT_EXIST);
            EXPECT_EQ(qxerr::reportGetInt(e.report(), "line"), c.line);
        }
    }
    EXPECT_FALSE(isDeviceName("device:"));
    EXPECT_FALSE(isPortName("device:"));
    EXPECT_TRUE(isPortName("port:x"));
}

}  // namespace
