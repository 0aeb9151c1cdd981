// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "platform/qx/dsc/Exception.h"
#include "platform/qxerr/Exception.h"
#include "sysapicpp/HResultException.h"

namespace {

constexpr qxerr::SourceLocation kOpenSite{"qxserialconfig/Port", 22, qxerr::kComponent,
                                          "qxapalerr_osFault"};

TEST(RaiseOsError, ReportCarriesErrnoObjectThenMessage) {
    try {
        qxerr::Raise(qxerr::qxapalerr_osFault, kOpenSite)
            .osError(ENOENT)
            .message("failed to open port")
            .addUnsigned("requested_timeout_ms", 10)
            .raise();
        FAIL() << "nothing thrown";
    } catch (const qxerr::Exception& e) {
        EXPECT_EQ(e.getCode(), -52008);
        const std::string expected =
            std::string(R"({"error_constant":"qxapalerr_osFault","file":"qxserialconfig/Port",)"
                        R"("line":22,"component":"qxserialconfig","internal_error":{"api":"errno",)"
                        R"("code":2,"string":")") +
            std::strerror(ENOENT) +
            R"("},"qxserialconfig":"failed to open port","requested_timeout_ms":10})";
        EXPECT_EQ(std::string(e.what()), expected);
        EXPECT_STREQ(e.report(), e.what());
    }
}

TEST(RaiseOsError, CaughtAsStdExceptionAndBase) {
    try {
        qxerr::raise(qxerr::qxapalerr_invalidParameter, kOpenSite);
    } catch (const std::exception& e) {
        EXPECT_EQ(qxerr::reportGetString(e.what(), "component"), "qxserialconfig");
        EXPECT_EQ(qxerr::reportGetInt(e.what(), "line"), 22);
        const auto* base = dynamic_cast<const qxerr::ExceptionBase*>(&e);
        ASSERT_NE(base, nullptr);
        EXPECT_EQ(base->getCode(), qxerr::qxapalerr_invalidParameter);
    }
}

TEST(Exception, WhatIsNeverNull) {
    qxerr::Exception e{qxerr::Status{}};
    ASSERT_NE(e.what(), nullptr);
    EXPECT_STREQ(e.what(), "");
    EXPECT_STREQ(e.report(), "");
    qxerr::Exception copy(e);
    EXPECT_STREQ(copy.what(), "");
}

TEST(HResultMapping, StatusCodesToHostResults) {
    using namespace sysapicpp;
    const std::pair<int32_t, uint32_t> table[] = {
        {0, 0},
        {-52027, 0x80040382},
        {-52020, 0x80040383},
        {-52010, 0x80040383},
        {-52009, 0x80040383},
        {-52006, 0x80040375},
        {-52002, 0x80004001},
        {-52000, 0x8007000E},
        {-52008, 0x80004005},
        {-52005, 0x80004005},
        {-1, 0x80004005},
        {7, 0x80004005},
    };
    for (const auto& [code, result] : table)
        EXPECT_EQ(static_cast<uint32_t>(hresultFromStatusCode(code)), result) << code;
}

TEST(HResultException, SubclassesFixCodeAndWriteLocation) {
    using namespace sysapicpp;
    const std::pair<HResultException, uint32_t> cases[] = {
        {NotImplException("sysapicpp/a", 1), 0x80004001},
        {FailException("sysapicpp/a", 1), 0x80004005},
        {UnexpectedException("sysapicpp/a", 1), 0x8000FFFF},
        {ItemNotExistException("sysapicpp/a", 1), 0x80040375},
        {RefreshPendingException("sysapicpp/a", 1), 0x80040377},
        {ValidationValueException("sysapicpp/a", 1), 0x8004037F},
        {HResultException(hr(0x80040371), "sysapicpp/a", 1), 0x80040371},
    };
    for (const auto& [e, code] : cases) {
        EXPECT_EQ(static_cast<uint32_t>(e.getCode()), code);
        EXPECT_STREQ(e.what(), "");
        EXPECT_STREQ(e.report(), R"({"file":"sysapicpp/a","line":1,"component":"qxserialconfig"})");
    }
}

TEST(DscExceptions, FixedCodesAndTexts) {
    using namespace qx::dsc::exception;
    const Exception base;
    const OutOfRange outOfRange;
    const InvalidArgument invalidArgument;
    const BufferOverflow overflow;
    const InvalidSequence sequence(__FILE__, __LINE__);
    const BadGuidString guid;
    const std::pair<const Exception*, std::pair<uint32_t, const char*>> cases[] = {
        {&base, {0xFFFFFFFF, "unspecified exception"}},
        {&outOfRange, {0x8ABC7007, "Out of range"}},
        {&invalidArgument, {0x8ABC700F, "Invalid argument(s)"}},
        {&overflow, {0x8ABC7017, "Buffer overflowed"}},
        {&sequence, {0x8ABC7030, "Invalid UTF8 encoding sequence"}},
        {&guid, {0x8ABC7032, "Badly formatted Guid string."}},
    };
    for (const auto& [e, expected] : cases) {
        EXPECT_EQ(e->code(), expected.first);
        EXPECT_STREQ(e->what(), expected.second);
    }
    EXPECT_GT(sequence.line(), 0);
}

}  // namespace
