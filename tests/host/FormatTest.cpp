// SPDX-License-Identifier: MIT
// How qxhost writes text for people: nothing from a file, a board or the plug-in reaches a
// terminal as a control, and quoting is only where a word would be misread.

#include <gtest/gtest.h>

#include <string>

#include "host/Format.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

namespace {

TEST(Format, TextIsShownVisiblyQuotedWhereAWordWouldBeMisread) {
    const struct {
        std::string text;
        std::string visible;
        std::string quoted;
    } cases[] = {
        {"", "", "\"\""},
        {"ttyQX561xPort4", "ttyQX561xPort4", "ttyQX561xPort4"},
        {"PCIe-5611/2", "PCIe-5611/2", "PCIe-5611/2"},
        {"a b", "a b", "\"a b\""},
        {"k=v", "k=v", "\"k=v\""},
        {"say \"hi\"", "say \"hi\"", "\"say \\\"hi\\\"\""},
        {"back\\slash", "back\\slash", "\"back\\\\slash\""},
        {"tab\there", "tab\there", "\"tab\there\""},
        // C0 controls, DEL and C1 controls (raw and as UTF-8) a byte each.
        {"\x1b[2J", "\\x1b[2J", "\"\\x1b[2J\""},
        {"a\nb\r", "a\\x0ab\\x0d", "\"a\\x0ab\\x0d\""},
        {std::string("nul\0!", 5), "nul\\x00!", "\"nul\\x00!\""},
        {"\x7f", "\\x7f", "\"\\x7f\""},
        {"\xc2\x9b" "1m", "\\xc2\\x9b1m", "\"\\xc2\\x9b1m\""},
        {"\x9b", "\\x9b", "\"\\x9b\""},
        // Valid UTF-8 beyond the controls stays; every byte of anything else is escaped.
        {"\xc2\xa0\xe2\x82\xac\xf0\x9f\x98\x80", "\xc2\xa0\xe2\x82\xac\xf0\x9f\x98\x80",
         "\xc2\xa0\xe2\x82\xac\xf0\x9f\x98\x80"},
        {"\xc0\x80", "\\xc0\\x80", "\"\\xc0\\x80\""},
        {"\xe2\x82", "\\xe2\\x82", "\"\\xe2\\x82\""},
        {"\xe2\x82x", "\\xe2\\x82x", "\"\\xe2\\x82x\""},
        {"\x80z", "\\x80z", "\"\\x80z\""},
        {"4\xff\xc3(", "4\\xff\\xc3(", "\"4\\xff\\xc3(\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(qxhost::visible(c.text), c.visible) << c.visible;
        EXPECT_EQ(qxhost::quoted(c.text), c.quoted) << c.visible;
    }
    EXPECT_EQ(qxhost::quotedString("plain"), "\"plain\"");
    EXPECT_EQ(qxhost::quotedString("\"\\\x07"), "\"\\\"\\\\\\x07\"");
}

TEST(Format, TagsTypesGuidsAndTimesHaveOneSpelling) {
    using qxhost::ItemKind;
    EXPECT_EQ(qxhost::tagHex(sysapicpp::RxFifoDepth), "0x0C005000");
    EXPECT_EQ(qxhost::tagHex(0), "0x00000000");
    EXPECT_EQ(qxhost::tagName(sysapicpp::RxFifoDepth, ItemKind::Port), "RxFifoDepth");
    EXPECT_EQ(qxhost::tagName(sysapicpp::RxFifoDepth, ItemKind::Board), "");
    // One tag, two meanings: a board's description is a port's node.
    EXPECT_EQ(qxhost::tagName(sysapicpp::Description, ItemKind::Board), "Description");
    EXPECT_EQ(qxhost::tagName(sysapicpp::Description, ItemKind::Port), "PortNode");
    EXPECT_EQ(qxhost::tagName(sysapicpp::Name, ItemKind::Board), "Name");
    EXPECT_EQ(qxhost::tagName(sysapicpp::Name, ItemKind::Port), "Name");
    EXPECT_EQ(qxhost::tagName(0x01001000, ItemKind::Port), "");

    const char* const types[] = {"type 0", "bool", "int32", "uint32", "double", "guid", "string", "timestamp", "type 8"};
    for (int type = 0; type <= 8; ++type) EXPECT_EQ(qxhost::typeName(type), types[type]);
    EXPECT_EQ(qxhost::typeName(-1), "type -1");

    const GUID guid{0x5D7C3E1A, 0x8B42, 0x4F6E, {0x9A, 0x0D, 0x3C, 0x61, 0xF2, 0xB8, 0xE9, 0x47}};
    EXPECT_EQ(qxhost::guidText(guid), "{5D7C3E1A-8B42-4F6E-9A0D-3C61F2B8E947}");
    EXPECT_EQ(qxhost::timestampText(cxSysAttrTimestampUTC{18446744073709551615ull, -5}),
              "-5+18446744073709551615/2^64");
}

}  // namespace
