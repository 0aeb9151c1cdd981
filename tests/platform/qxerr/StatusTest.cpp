// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/qxerr/Status.h"

using namespace qxerr;

namespace {

constexpr SourceLocation kSite{"shared/qx561x/cIniDataStore", 77, "qxserialconfig",
                               "qxapalerr_invalidParameter"};

std::string text(const Status& s) { return s.reportText(); }

TEST(StatusMerge, FollowsFirstErrorWinsRule) {
    struct Case { int32_t current; int32_t incoming; bool taken; int32_t result; };
    const Case cases[] = {
        {0, 0, false, 0},          {0, 5, true, 5},           {0, -52005, true, -52005},
        {5, 7, false, 5},          {5, -52005, true, -52005}, {-52008, -52005, false, -52008},
        {-52008, 3, false, -52008}, {-52008, 0, false, -52008},
    };
    for (const Case& c : cases) {
        Status s;
        s.code = c.current;
        EXPECT_EQ(setCode(s, c.incoming), c.taken) << c.current << " <- " << c.incoming;
        EXPECT_EQ(s.getCode(), c.result) << c.current << " <- " << c.incoming;
    }
}

TEST(StatusMerge, LaterErrorLeavesFirstReportUntouched) {
    Status s;
    ASSERT_TRUE(setCodeWithLocation(s, qxapalerr_osFault, kSite));
    const std::string before = text(s);
    EXPECT_FALSE(setCodeWithLocation(s, qxapalerr_invalidParameter, kSite));
    EXPECT_EQ(s.getCode(), qxapalerr_osFault);
    EXPECT_EQ(text(s), before);
}

TEST(StatusMerge, ErrorOverWarningResetsReport) {
    Status s;
    setCodeWithLocation(s, 17, kSite);
    char* cursor = reportOpen(s);
    reportAddString(s, cursor, "extra", "x");
    ASSERT_TRUE(setCode(s, qxapalerr_invalidParameter));
    EXPECT_EQ(text(s), "{}");
}

TEST(StatusReport, LocationMembersInOrder) {
    Status s;
    setCodeWithLocation(s, qxapalerr_invalidParameter, kSite);
    EXPECT_EQ(text(s),
              R"({"error_constant":"qxapalerr_invalidParameter","file":"shared/qx561x/cIniDataStore",)"
              R"("line":77,"component":"qxserialconfig"})");
}

TEST(StatusReport, ComponentOmittedWhenLocationHasNone) {
    Status s;
    setCodeWithLocation(s, -1, SourceLocation{"f", -3, nullptr, "status.getCode()"});
    EXPECT_EQ(text(s), R"x({"error_constant":"status.getCode()","file":"f","line":-3})x");
}

TEST(StatusReport, EscapesKeysAndValues) {
    struct Case { std::string raw; std::string escaped; };
    const Case cases[] = {
        {"a\tb", R"(a\tb)"},      {"q\"q", R"(q\"q)"},   {"back\\slash", R"(back\\slash)"},
        {std::string("\x01", 1), R"(\u0001)"},          {"\x7f", R"(\u007f)"},
        {"\b\f\n\r", R"(\b\f\n\r)"}, {"\x1f", R"(\u001f)"}, {"plain / text", "plain / text"},
    };
    for (const Case& c : cases) {
        Status s;
        char* cursor = reportOpen(s);
        reportAddString(s, cursor, c.raw, c.raw);
        EXPECT_EQ(text(s), "{\"" + c.escaped + "\":\"" + c.escaped + "\"}") << c.escaped;
        EXPECT_EQ(reportGetString(s.report, c.raw), c.raw) << c.escaped;
    }
}

TEST(StatusReport, NestedObjectsAndNumbers) {
    Status s;
    char* cursor = reportOpen(s);
    cursor = reportAddInt(s, cursor, "neg", -5);
    char* inner = reportAddObject(s, cursor, "internal_error");
    inner = reportAddString(s, inner, "api", "errno");
    inner = reportAddInt(s, inner, "code", 2);
    cursor = reportStepOut(s, inner);
    cursor = reportAddUnsigned(s, cursor, "big", 4294967295u);
    ASSERT_NE(cursor, nullptr);
    EXPECT_EQ(text(s), R"({"neg":-5,"internal_error":{"api":"errno","code":2},"big":4294967295})");
    EXPECT_EQ(reportGetInt(s.report, "big"), 4294967295LL);
    EXPECT_EQ(reportGetInt(s.report, "neg"), -5);
    // Members of nested objects are not top-level members.
    EXPECT_EQ(reportGetInt(s.report, "code", 99), 99);
    EXPECT_EQ(reportGetString(s.report, "api", "none"), "none");
}

TEST(StatusReport, GrowsTo512ThenPowersOfTwoKeepingMarker) {
    Status s;
    char* cursor = reportOpen(s);
    ASSERT_EQ(s.capacity, 512u);
    uint32_t seen[3] = {};
    int stage = 0;
    for (int i = 0; i < 200 && stage < 3; ++i) {
        cursor = reportAddString(s, cursor, "k" + std::to_string(i), std::string(20, 'v'));
        ASSERT_NE(cursor, nullptr);
        const size_t used = std::strlen(s.report) + 2;
        ASSERT_LE(used, s.capacity);
        ASSERT_EQ(s.report[s.capacity - 1], 'J');
        if (s.capacity != (stage ? seen[stage - 1] : 512u)) seen[stage++] = s.capacity;
    }
    EXPECT_EQ(seen[0], 1024u);
    EXPECT_EQ(seen[1], 2048u);
    EXPECT_EQ(seen[2], 4096u);
    EXPECT_EQ(reportGetString(s.report, "k3"), std::string(20, 'v'));
}

TEST(StatusReport, ReallocateRules) {
    Status s;
    EXPECT_TRUE(standardReallocate(&s, 1));
    EXPECT_EQ(s.capacity, 512u);
    EXPECT_STREQ(s.report, "{}");
    EXPECT_TRUE(standardReallocate(&s, 300));  // no shrink
    EXPECT_EQ(s.capacity, 512u);
    EXPECT_TRUE(standardReallocate(&s, 5000));
    EXPECT_EQ(s.capacity, 8192u);
    EXPECT_EQ(s.report[8191], 'J');
    EXPECT_FALSE(standardReallocate(&s, 0x7FFFFFFE));
    EXPECT_EQ(s.capacity, 8192u);
    EXPECT_TRUE(standardReallocate(&s, 0));
    EXPECT_EQ(s.report, nullptr);
    EXPECT_EQ(s.capacity, 0u);
}

bool refuseToGrow(Status*, uint32_t n) { return n == 0; }

TEST(StatusReport, BufferThatCannotGrowKeepsTextAndCode) {
    Status s;
    s.reallocate = &refuseToGrow;
    EXPECT_TRUE(setCodeWithLocation(s, qxapalerr_osFault, kSite));
    EXPECT_EQ(s.getCode(), qxapalerr_osFault);
    EXPECT_EQ(s.report, nullptr);
    EXPECT_STREQ(s.reportText(), "");
}

TEST(StatusCopy, MoveHandsOverBufferCopyDuplicates) {
    Status a;
    setCodeWithLocation(a, qxapalerr_resourceNotFound, kSite);
    const std::string original = text(a);
    Status copy(a);
    EXPECT_NE(copy.report, a.report);
    EXPECT_EQ(text(copy), original);
    char* buffer = a.report;
    Status moved(std::move(a));
    EXPECT_EQ(moved.report, buffer);
    EXPECT_EQ(a.report, nullptr);
    EXPECT_EQ(moved.getCode(), qxapalerr_resourceNotFound);
}

}  // namespace
