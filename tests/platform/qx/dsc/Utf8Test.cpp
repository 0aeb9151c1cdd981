// SPDX-License-Identifier: MIT
#include "platform/qx/dsc/Utf8.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/qx/dsc/Exception.h"

using namespace qx::dsc;
namespace ex = qx::dsc::exception;

namespace {

std::wstring decode(const std::string& bytes) {
    std::vector<wchar_t> out(bytes.size() + 1);
    const std::size_t n =
        utf8ToWide(bytes.data(), bytes.data() + bytes.size(), out.data(), out.data() + out.size());
    return std::wstring(out.data(), n);
}

std::string encode(const std::wstring& text) {
    std::string out(text.size() * 6 + 1, '\0');
    const std::size_t n =
        wideToUtf8(text.data(), text.data() + text.size(), out.data(), out.data() + out.size());
    out.resize(n);
    return out;
}

struct Coded {
    const char* name;
    std::string bytes;
    uint32_t value;
};

// Each value is also the boundary of its sequence length.
const Coded kCoded[] = {
    {"ascii", "A", 0x41},
    {"two", "\xC3\xA9", 0xE9},
    {"twoMin", "\xC2\x80", 0x80},
    {"threeMin", "\xE0\xA0\x80", 0x800},
    {"surrogate", "\xED\xA0\x80", 0xD800},
    {"emoji", "\xF0\x9F\x98\x80", 0x1F600},
    {"fourMin", "\xF0\x90\x80\x80", 0x10000},
    {"fiveMin", "\xF8\x88\x80\x80\x80", 0x200000},
    {"fiveMax", "\xFB\xBF\xBF\xBF\xBF", 0x3FFFFFF},
    {"sixMin", "\xFC\x84\x80\x80\x80\x80", 0x4000000},
    {"sixMax", "\xFD\xBF\xBF\xBF\xBF\xBF", 0x7FFFFFFF},
};

}  // namespace

class Utf8Coded : public ::testing::TestWithParam<Coded> {};

TEST_P(Utf8Coded, DecodesAndEncodesBothWays) {
    const Coded& c = GetParam();
    const std::wstring wide(1, static_cast<wchar_t>(c.value));
    EXPECT_EQ(decode(c.bytes), wide);
    EXPECT_EQ(encode(wide), c.bytes);
    EXPECT_EQ(utf8Length(c.bytes.data(), c.bytes.data() + c.bytes.size()), 1u);
    EXPECT_EQ(wideToUtf8Length(wide.c_str()), c.bytes.size());
}

INSTANTIATE_TEST_SUITE_P(Values, Utf8Coded, ::testing::ValuesIn(kCoded),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Utf8, MixedTextRoundTrips) {
    const std::string bytes = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";
    EXPECT_EQ(utf8Length(bytes.data(), bytes.data() + bytes.size()), 5u);
    const std::wstring wide = toWide(bytes);
    EXPECT_EQ(wide, (std::wstring{L'a', wchar_t(0xE9), wchar_t(0x20AC), wchar_t(0x1F600), L'z'}));
    EXPECT_EQ(toUtf8(wide), bytes);
    EXPECT_EQ(toWide(""), L"");
    EXPECT_EQ(toUtf8(L""), "");
}

TEST(Utf8, RejectsMalformedSequences) {
    const std::vector<std::string> bad = {
        std::string("\xC0\x80"),                  // overlong NUL
        std::string("\xC1\xBF"),                  // overlong
        std::string("\xE0\x80\x80"),              // overlong three-byte
        std::string("\xE0\x9F\xBF"),              // overlong three-byte, upper edge
        std::string("\xF0\x8F\xBF\xBF"),          // overlong four-byte
        std::string("\xF8\x87\xBF\xBF\xBF"),      // overlong five-byte
        std::string("\xFC\x83\xBF\xBF\xBF\xBF"),  // overlong six-byte
        std::string("\x80"),                      // stray continuation
        std::string("a\xBF"),                     // stray continuation after text
        std::string("\xFE"), std::string("\xFF"),
        std::string("\xC3\x28"),                  // continuation missing
        std::string("\xE2\x82\xC0"),              // last continuation malformed
        std::string("\xF0\x9F\x98"),              // truncated at end
        std::string("\xC3"),                      // truncated lead only
        std::string("\xFD\xBF\xBF\xBF\xBF"),      // six-byte lead, five bytes given
    };
    for (const std::string& bytes : bad) {
        SCOPED_TRACE(::testing::PrintToString(bytes));
        EXPECT_THROW(utf8Length(bytes.data(), bytes.data() + bytes.size()), ex::InvalidSequence);
        EXPECT_THROW(decode(bytes), ex::InvalidSequence);
    }
}

TEST(Utf8, DecodeRefusesBadOutput) {
    const std::string bytes = "abc";
    wchar_t out[2];
    EXPECT_THROW(utf8ToWide(bytes.data(), bytes.data() + 3, nullptr, nullptr), ex::InvalidArgument);
    EXPECT_THROW(utf8ToWide(bytes.data(), bytes.data() + 3, out + 2, out), ex::InvalidArgument);
    EXPECT_THROW(utf8ToWide(bytes.data(), bytes.data() + 3, out, out + 2), ex::BufferOverflow);
    // Exactly enough room is not an overflow.
    EXPECT_EQ(utf8ToWide(bytes.data(), bytes.data() + 2, out, out + 2), 2u);
    EXPECT_EQ(out[1], L'b');
}

TEST(Utf8, EncodeStopsBeforeCharacterThatDoesNotFit) {
    const std::wstring text{L'a', wchar_t(0x1F600)};
    char out[4] = {'x', 'x', 'x', 'x'};
    EXPECT_THROW(wideToUtf8(text.data(), text.data() + 2, out, out + 4), ex::BufferOverflow);
    EXPECT_EQ(out[0], 'a');
    EXPECT_EQ(out[1], 'x') << "a partial sequence was written";
    EXPECT_EQ(wideToUtf8(text.data(), text.data() + 1, out, out + 1), 1u);
    EXPECT_THROW(wideToUtf8(text.data(), text.data() + 2, nullptr, nullptr), ex::InvalidArgument);
    EXPECT_THROW(wideToUtf8(text.data(), text.data() + 2, out + 4, out), ex::InvalidArgument);
}

TEST(Utf8, TopBitValuesBecomeQuestionMark) {
    const std::wstring text{L'x', static_cast<wchar_t>(0x80000000u), static_cast<wchar_t>(0xFFFFFFFFu)};
    EXPECT_EQ(encode(text), "x??");
    EXPECT_EQ(wideToUtf8Length(text.c_str()), 3u);
}

TEST(Utf8, ExceptionsCarryCodeTextAndRaiseSite) {
    const std::string bytes = "\xC0\x80";
    try {
        utf8Length(bytes.data(), bytes.data() + bytes.size());
        FAIL() << "no exception";
    } catch (const ex::Exception& e) {
        EXPECT_EQ(e.code(), 0x8ABC7030u);
        EXPECT_STREQ(e.what(), "Invalid UTF8 encoding sequence");
        EXPECT_STREQ(e.file(), "qx/dsc/Utf8");
        EXPECT_GT(e.line(), 0);
    }
}

TEST(Utf8, FailuresAreStandardExceptions) {
    // Notification delivery and the host boundary only know std::exception.
    try {
        toWide("\xFF");
        FAIL() << "no exception";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Invalid UTF8 encoding sequence");
    }
}
