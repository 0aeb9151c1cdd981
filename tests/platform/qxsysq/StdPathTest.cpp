// SPDX-License-Identifier: MIT
#include "platform/qxsysq/stdpath.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/qxerr/Exception.h"
#include "tests/platform/ProbeRunner.h"
#include "tests/support/TempDir.h"

namespace {

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
