#include <dlfcn.h>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/qxdynlib/dynload.h"
#include "platform/qxerr/Exception.h"
#include "platform/qxsysq/stdpath.h"
#include "tests/platform/ProbeRunner.h"
#include "tests/platform/TestSupport.h"

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

TEST(StandardPaths, WithoutRelocationLibrarySysconfDirIsEtc) {
    EXPECT_EQ(qxsysq::getSysconfDir(), "/etc");
    EXPECT_EQ(qxsysq::getSysconfDir() + "/qxserial/configuration.ini",
              "/etc/qxserial/configuration.ini");
    qxerr::Status status;
    std::string path;
    qxsysq::lookupStandardPath("multiarchlibdir", path, status);
    EXPECT_EQ(path, "/usr/lib/x86_64-linux-gnu");
    qxsysq::lookupStandardPath("nosuchdir", path, status);
    EXPECT_EQ(status.getCode(), qxerr::qxapalerr_osFault);
    EXPECT_EQ(path, "/usr/lib/x86_64-linux-gnu");
}

const char* const kKeysInOrder[] = {
    "prefixdir",     "execprefixdir",  "bindir",      "sbindir",      "libdir",
    "lib32dir",      "lib64dir",       "nativelibdir", "multiarchlibdir", "libexecdir",
    "sharedstatedir", "datarootdir",   "datadir",     "sysconfdir",   "localstatedir",
    "runstatedir",   "includedir",     "docdir",      "initddir"};

std::string keysUpTo(const std::string& last) {
    std::string text;
    for (const char* key : kKeysInOrder) {
        text += std::string(key) + "\n";
        if (key == last) break;
    }
    return text;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(StandardPaths, RelocationLibraryDecidesEachKeyInTableOrder) {
    struct Case {
        const char* what;
        const char* library;
        std::map<std::string, std::string> env;
        std::string first;   // expected "first" value, or empty when it must fail
        std::string calls;   // expected call log; empty when none is expected
    } cases[] = {
        {"relocated", "qxrelocations", {{"QXRELOC_STANDIN", "libdir=/opt/qx/lib,sysconfdir=/opt/qx/etc"}},
         "/opt/qx/etc", keysUpTo("initddir")},
        {"every key keeps its default", "qxrelocations", {}, "/etc", keysUpTo("initddir")},
        {"library without the function", "qxrelocations-nosymbol",
         {{"QXRELOC_STANDIN", "sysconfdir=/opt/qx/etc"}}, "/etc", ""},
        {"negative answer for a later key", "qxrelocations",
         {{"QXRELOC_STANDIN", "sysconfdir=/opt/qx/etc"}, {"QXRELOC_STANDIN_FAIL", "docdir"}}, "",
         keysUpTo("docdir")},
        {"negative answer stops the calls", "qxrelocations", {{"QXRELOC_STANDIN_FAIL", "libdir"}}, "",
         keysUpTo("libdir")},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.what);
        qxtest::TempDir dir;
        c.env["QXRELOC_STANDIN_LOG"] = dir.file("calls");
        const qxtest::ProbeResult result =
            qxtest::runProbe({"sysconfdir"}, qxtest::standinDir(c.library), c.env);
        ASSERT_EQ(result.exitStatus, 0);
        if (c.first.empty()) {
            // Every call fails, not only the first.
            EXPECT_EQ(result["first-error"], std::to_string(qxerr::qxapalerr_resourceNotFound));
            EXPECT_EQ(result["second-error"], std::to_string(qxerr::qxapalerr_resourceNotFound));
        } else {
            EXPECT_EQ(result["first"], c.first);
            EXPECT_EQ(result["second"], c.first);
        }
        EXPECT_EQ(readFile(dir.file("calls")), c.calls);
        EXPECT_EQ(result["fds-leaked"], "0");
    }
}

}  // namespace
