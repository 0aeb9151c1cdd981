// SPDX-License-Identifier: MIT
#include "platform/qxapal/trace/tTrace.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace qxapal;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

TEST(Trace, WritePrintsExactlyTheGivenLength) {
    CaptureStderr();
    tTrace::instance().write("abcdefgh", 5);
    tTrace::instance().write("xyz", 0);
    EXPECT_EQ(GetCapturedStderr(), "abcde");
}

TEST(Trace, LongOutputIsCutAt511Characters) {
    const std::string text(600, 'x');
    CaptureStderr();
    tTrace::instance().print(text.c_str());
    EXPECT_EQ(GetCapturedStderr(), std::string(511, 'x'));

    CaptureStderr();
    qxsdbg_printf("%s-%d", std::string(520, 'y').c_str(), 7);
    EXPECT_EQ(GetCapturedStderr(), std::string(511, 'y'));

    CaptureStderr();
    tTrace::instance().write(text.c_str(), text.size());
    EXPECT_EQ(GetCapturedStderr(), std::string(511, 'x'));
}

TEST(Trace, ConsoleDestinationDescribesItself) {
    iTraceDestination& console = tTrace::instance().destination();
    EXPECT_STREQ(console.name(), "qxsdbg_printf");
    EXPECT_TRUE(console.isEnabled());
    char buffer[64];
    std::size_t length = 0;
    EXPECT_EQ(console.describe(buffer, sizeof buffer, &length), 19u);
    EXPECT_EQ(length, 19u);
    EXPECT_STREQ(buffer, " --destination apal");
    char small[6] = {'?', '?', '?', '?', '?', '?'};
    EXPECT_EQ(console.describe(small, 5, nullptr), 19u);
    EXPECT_STREQ(small, " --d");
    EXPECT_EQ(small[5], '?') << "wrote past the given size";
    EXPECT_EQ(tTrace::instance().count(), 50u);
}

TEST(Trace, NumberToText) {
    struct Case {
        uint64_t value;
        unsigned base;
        const char* text;
    } cases[] = {
        {0, 10, "0"},           {4294967295u, 10, "4294967295"}, {255, 16, "0xFF"},
        {0, 16, "0x0"},         {10, 2, "2#1010"},               {35, 36, "36#Z"},
        {8, 8, "8#10"},         {UINT64_MAX, 16, "0xFFFFFFFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        char buffer[80];
        EXPECT_EQ(numberToText(c.value, c.base, buffer, sizeof buffer), std::strlen(c.text));
        EXPECT_STREQ(buffer, c.text);
    }
    char small[4];
    EXPECT_EQ(numberToText(12345, 10, small, sizeof small), 5u);
    EXPECT_STREQ(small, "123");
}
