// SPDX-License-Identifier: MIT
#include "platform/qx/dsc/Guid.h"

#include <gtest/gtest.h>

#include "platform/qx/dsc/Exception.h"

using namespace qx::dsc;

TEST(Guid, ParsesBracedText) {
    const GUID expected{0x00112233, 0x4455, 0x6677, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}};
    EXPECT_EQ(parseGuid("{00112233-4455-6677-8899-AABBCCDDEEFF}"), expected);
    EXPECT_EQ(parseGuid("{00112233-4455-6677-8899-aabbccddeeff}"), expected);
    EXPECT_EQ(parseGuid(L"{00112233-4455-6677-8899-AaBbCcDdEeFf}"), expected);
    const GUID high = parseGuid("{FEDCBA98-7654-3210-0123-456789ABCDEF}");
    EXPECT_EQ(high.Data1, 0xFEDCBA98u);
    EXPECT_EQ(high.Data2, 0x7654u);
    EXPECT_EQ(high.Data3, 0x3210u);
    EXPECT_EQ(high.Data4[0], 0x01u);
    EXPECT_EQ(high.Data4[7], 0xEFu);
}

TEST(Guid, RejectsMalformedText) {
    const char* bad[] = {
        "00112233-4455-6677-8899-AABBCCDDEEFF",      // no braces
        "{00112233-4455-6677-8899-AABBCCDDEEFF",     // 37 characters
        "{00112233-4455-6677-8899-AABBCCDDEEFF}x",   // 39 characters
        "(00112233-4455-6677-8899-AABBCCDDEEFF)",
        "{00112233-4455-6677-8899-AABBCCDDEEFG}",    // not a hex digit
        "{0011223-34455-6677-8899-AABBCCDDEEFF}",    // dash misplaced
        "{00112233-4455-6677-88990AABBCCDDEEFF}",    // dash replaced
        "{00112233+4455-6677-8899-AABBCCDDEEFF}",
        "{ 0112233-4455-6677-8899-AABBCCDDEEFF}",
        "",
    };
    for (const char* text : bad) {
        SCOPED_TRACE(text);
        EXPECT_THROW(parseGuid(text), exception::BadGuidString);
        GUID guid{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
        EXPECT_FALSE(tryParseGuid(text, guid));
        EXPECT_EQ(guid, GUID{});
    }
}

TEST(Guid, WideTextOutsideAsciiIsRejected) {
    std::wstring text = L"{00112233-4455-6677-8899-AABBCCDDEEFF}";
    text[1] = static_cast<wchar_t>(0x10030);  // '0' in the low bits only
    EXPECT_THROW(parseGuid(text), exception::BadGuidString);
    text[1] = L'0';
    text[0] = static_cast<wchar_t>(0x1007B);  // '{' in the low bits only
    GUID guid;
    EXPECT_FALSE(tryParseGuid(text, guid));
}

TEST(Guid, TryParseReportsSuccess) {
    GUID guid{};
    EXPECT_TRUE(tryParseGuid("{00000000-0000-0000-C000-000000000046}", guid));
    EXPECT_EQ(guid.Data3, 0u);
    EXPECT_EQ(guid.Data4[0], 0xC0u);
    EXPECT_EQ(guid.Data4[7], 0x46u);
}
