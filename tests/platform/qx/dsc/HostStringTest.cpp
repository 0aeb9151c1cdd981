// SPDX-License-Identifier: MIT
#include "platform/qx/dsc/HostString.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/qx/dsc/Exception.h"

using namespace qx::dsc;

namespace {

uint32_t countBefore(const wchar_t* p) {
    uint32_t count;
    std::memcpy(&count, reinterpret_cast<const char*>(p) - 4, sizeof count);
    return count;
}

// What the host does with a string it received.
void hostFree(wchar_t* p) { std::free(reinterpret_cast<char*>(p) - 4); }

}  // namespace

TEST(HostString, BlockHoldsCountCharactersAndNul) {
    wchar_t* s = allocHostString(L"abc");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(countBefore(s), 3u);
    EXPECT_EQ(hostStringLength(s), 3u);
    EXPECT_EQ(std::wmemcmp(s, L"abc", 4), 0);  // includes the terminator
    hostFree(s);
}

TEST(HostString, ExplicitLengthKeepsEmbeddedNuls) {
    const wchar_t text[] = {L'a', L'\0', L'b'};
    wchar_t* s = allocHostString(text, 3);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(countBefore(s), 3u);
    EXPECT_EQ(s[2], L'b');
    EXPECT_EQ(s[3], L'\0');
    freeHostString(s);

    wchar_t* zeros = allocHostString(nullptr, 2);
    ASSERT_NE(zeros, nullptr);
    EXPECT_EQ(countBefore(zeros), 2u);
    EXPECT_EQ(zeros[0], L'\0');
    EXPECT_EQ(zeros[1], L'\0');
    hostFree(zeros);
}

TEST(HostString, NullAndEmpty) {
    EXPECT_EQ(allocHostString(nullptr), nullptr);
    EXPECT_EQ(hostStringLength(nullptr), 0u);
    freeHostString(nullptr);
    wchar_t* empty = allocHostString(L"");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(countBefore(empty), 0u);
    EXPECT_EQ(empty[0], L'\0');
    hostFree(empty);
}

TEST(HostString, RefusesLengthsAtTheLimit) {
    EXPECT_EQ(allocHostString(L"x", 0x3FFFFFFF), nullptr);
    EXPECT_EQ(allocHostString(L"x", std::size_t{0x100000000}), nullptr);
}

TEST(HostString, FromUtf8) {
    wchar_t* s = allocHostStringFromUtf8("\xC3\xA9t\xC3\xA9");
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(countBefore(s), 3u);
    EXPECT_EQ(s[0], wchar_t(0xE9));
    EXPECT_EQ(s[1], L't');
    hostFree(s);
    EXPECT_THROW(allocHostStringFromUtf8("\xC0\x80"), qx::dsc::exception::InvalidSequence);
}
