// SPDX-License-Identifier: MIT
#include "platform/qxdynlib/dynload.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/qxerr/Exception.h"

namespace {

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(DynamicLoading, MissingLibraryReportsTheFileAndTheLoadersMessage) {
    qxerr::Status status;
    EXPECT_EQ(qxdynlib::loadLibrary("libqxnothere.so.7", RTLD_NOW, status), nullptr);
    EXPECT_EQ(status.getCode(), qxerr::qxapalerr_invalidParameter);
    const std::string report = status.reportText();
    EXPECT_EQ(qxerr::reportGetString(report.c_str(), "error_constant"), "qxapalerr_invalidParameter");
    EXPECT_EQ(qxerr::reportGetString(report.c_str(), "file"), "qxdynlib/dynload");
    EXPECT_EQ(qxerr::reportGetInt(report.c_str(), "line"), 65);
    EXPECT_EQ(qxerr::reportGetString(report.c_str(), "component"), "qx561xsae");
    EXPECT_TRUE(contains(report, "\"qxdynlib_debug\":{\"debug\":\"failed to qxdynlib_load library\","
                                 "\"path\":\"libqxnothere.so.7\"}"))
        << report;
    EXPECT_TRUE(contains(report, "\"internal_error\":{\"api\":\"dlerror\",\"string\":\"") &&
                contains(report, "libqxnothere.so.7: cannot open shared object file"))
        << report;
    EXPECT_EQ(dlerror(), nullptr) << "the loader's error state is left set";
}

TEST(DynamicLoading, FirstFailedSymbolLookupWins) {
    qxerr::Status status;
    void* libc = qxdynlib::loadLibrary("libc.so.6", RTLD_NOW, status);
    ASSERT_NE(libc, nullptr) << status.reportText();
    EXPECT_NE(qxdynlib::getSymbol(libc, "strlen", status), nullptr);
    EXPECT_EQ(status.getCode(), 0);

    EXPECT_EQ(qxdynlib::getSymbol(libc, "qx_no_such_symbol", status), nullptr);
    EXPECT_EQ(status.getCode(), qxerr::qxapalerr_invalidParameter);
    const std::string first = status.reportText();
    EXPECT_EQ(qxerr::reportGetInt(first.c_str(), "line"), 140);
    EXPECT_TRUE(contains(first, "\"qxdynlib_debug\":{\"debug\":\"failed to get symbol\","
                                "\"qxdynlib_symbol\":\"qx_no_such_symbol\"}"))
        << first;
    EXPECT_TRUE(contains(first, "\"internal_error\":{\"api\":\"dlerror\",\"string\":\""));

    // With the error in place nothing more is tried, not even a lookup that would work.
    EXPECT_EQ(qxdynlib::getSymbol(libc, "another_missing_symbol", status), nullptr);
    EXPECT_EQ(qxdynlib::getSymbol(libc, "strlen", status), nullptr);
    EXPECT_EQ(qxdynlib::loadLibrary("libc.so.6", RTLD_NOW, status), nullptr);
    EXPECT_EQ(status.reportText(), first);
    qxdynlib::unloadLibrary(libc);
}

}  // namespace
