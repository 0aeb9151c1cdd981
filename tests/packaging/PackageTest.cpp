// SPDX-License-Identifier: MIT
// The Debian packages as built from this tree: what they hold, their control data, what
// lintian says of them, and that `cmake --install` places the same files at the same paths.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/packaging/Packages.h"
#include "tests/support/TempDir.h"
#include "tests/support/Sim.h"

namespace {

namespace fs = std::filesystem;
using qxtest::RunResult;
using qxtest::runProgram;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// "mode owner path" of every entry, sorted; directories end in '/'.
std::vector<std::string> contents(const std::string& deb) {
    const RunResult r = runProgram({"dpkg-deb", "--contents", deb});
    EXPECT_EQ(0, r.status) << r.err;
    std::vector<std::string> entries;
    for (const std::string& line : lines(r.out)) {
        std::istringstream fields(line);
        std::string mode, owner, size, date, time, path;
        fields >> mode >> owner >> size >> date >> time >> path;
        entries.push_back(mode + " " + owner + " " + path);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

const std::string kCollection = "usr/share/ansible/collections/ansible_collections/qx561x/serial/";
const char* const kPackages[] = {"qx561x", "qx561x-sim", "qx561x-ansible", "cockpit-qx561x"};

TEST(Packages, HoldExactlyTheExpectedFiles) {
    const std::string dir = "drwxr-xr-x root/root ./";
    const std::string file = "-rw-r--r-- root/root ./";
    const std::string program = "-rwxr-xr-x root/root ./";
    const struct {
        const char* package;
        std::vector<std::string> entries;
    } cases[] = {
        {"qx561x",
         {
             dir + "etc/",
             dir + "etc/qxserial/",
             file + "etc/qxserial/configuration_defaults.ini",
             dir + "usr/",
             dir + "usr/lib/",
             dir + "usr/lib/udev/",
             dir + "usr/lib/udev/rules.d/",
             file + "usr/lib/udev/rules.d/60-qxserial.rules",
             dir + "usr/lib/x86_64-linux-gnu/",
             dir + "usr/lib/x86_64-linux-gnu/qx561x/",
             program + "usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig",
             dir + "usr/share/",
             dir + "usr/share/doc/",
             dir + "usr/share/doc/qx561x/",
             file + "usr/share/doc/qx561x/changelog.gz",
             file + "usr/share/doc/qx561x/copyright",
             dir + "usr/share/man/",
             dir + "usr/share/man/man8/",
             file + "usr/share/man/man8/qxserialconfig.8.gz",
             file + "usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so",
             dir + "usr/bin/",
             program + "usr/bin/qxhost",
             dir + "usr/share/man/man1/",
             file + "usr/share/man/man1/qxhost.1.gz",
             dir + "usr/share/bash-completion/",
             dir + "usr/share/bash-completion/completions/",
             file + "usr/share/bash-completion/completions/qxhost",
         }},
        {"qx561x-sim",
         {
             dir + "usr/",
             dir + "usr/bin/",
             program + "usr/bin/qxsim",
             dir + "usr/share/",
             dir + "usr/share/doc/",
             dir + "usr/share/doc/qx561x-sim/",
             file + "usr/share/doc/qx561x-sim/changelog.gz",
             file + "usr/share/doc/qx561x-sim/copyright",
             dir + "usr/share/man/",
             dir + "usr/share/man/man1/",
             file + "usr/share/man/man1/qxsim.1.gz",
         }},
        {"qx561x-ansible",
         {
             dir + "usr/",
             dir + "usr/share/",
             dir + "usr/share/ansible/",
             dir + "usr/share/ansible/collections/",
             dir + "usr/share/ansible/collections/ansible_collections/",
             dir + "usr/share/ansible/collections/ansible_collections/qx561x/",
             dir + kCollection,
             file + kCollection + "FILES.json",
             file + kCollection + "LICENSE",
             file + kCollection + "MANIFEST.json",
             file + kCollection + "README.md",
             dir + kCollection + "changelogs/",
             file + kCollection + "changelogs/changelog.yaml",
             dir + kCollection + "meta/",
             file + kCollection + "meta/runtime.yml",
             dir + kCollection + "plugins/",
             dir + kCollection + "plugins/doc_fragments/",
             file + kCollection + "plugins/doc_fragments/qxhost.py",
             dir + kCollection + "plugins/module_utils/",
             file + kCollection + "plugins/module_utils/qxhost.py",
             dir + kCollection + "plugins/modules/",
             file + kCollection + "plugins/modules/port.py",
             file + kCollection + "plugins/modules/port_info.py",
             file + kCollection + "plugins/modules/ports.py",
             dir + "usr/share/doc/",
             dir + "usr/share/doc/qx561x-ansible/",
             file + "usr/share/doc/qx561x-ansible/changelog.gz",
             file + "usr/share/doc/qx561x-ansible/copyright",
         }},
        {"cockpit-qx561x",
         {
             dir + "usr/",
             dir + "usr/share/",
             dir + "usr/share/cockpit/",
             dir + "usr/share/cockpit/qx561x/",
             file + "usr/share/cockpit/qx561x/dom.js",
             file + "usr/share/cockpit/qx561x/editor.js",
             file + "usr/share/cockpit/qx561x/editorview.js",
             file + "usr/share/cockpit/qx561x/index.html",
             file + "usr/share/cockpit/qx561x/index.js",
             file + "usr/share/cockpit/qx561x/manifest.json",
             file + "usr/share/cockpit/qx561x/patternfly.css",
             file + "usr/share/cockpit/qx561x/po.de.js",
             file + "usr/share/cockpit/qx561x/po.manifest.de.js",
             file + "usr/share/cockpit/qx561x/qx561x.css",
             file + "usr/share/cockpit/qx561x/qxhost.js",
             file + "usr/share/cockpit/qx561x/theme.js",
             file + "usr/share/cockpit/qx561x/view.js",
             dir + "usr/share/doc/",
             dir + "usr/share/doc/cockpit-qx561x/",
             file + "usr/share/doc/cockpit-qx561x/changelog.gz",
             file + "usr/share/doc/cockpit-qx561x/copyright",
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.package);
        std::vector<std::string> expected = c.entries;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(expected, contents(qxtest::packageFile(c.package)));
    }
}

TEST(Packages, ControlDataNamesSectionDependenciesAndConffiles) {
    const struct {
        const char* package;
        const char* field;
        const char* expected;  // the value, or a part of it for Depends
    } cases[] = {
        {"qx561x", "Version", QX_PACKAGE_VERSION},
        {"qx561x", "Section", "admin"},
        {"qx561x", "Priority", "optional"},
        {"qx561x", "Source", "qx561x"},
        {"qx561x", "Depends", "libc6 (>= "},
        {"qx561x-sim", "Section", "devel"},
        {"qx561x-sim", "Depends", "libseccomp2 (>= "},
        {"qx561x-sim", "Recommends", "qx561x"},
        {"qx561x-ansible", "Architecture", "all"},
        {"qx561x-ansible", "Section", "admin"},
        {"qx561x-ansible", "Depends", "ansible-core (>= 2.14)"},
        {"qx561x-ansible", "Depends", "qx561x (>= " QX_PACKAGE_VERSION ")"},
        {"cockpit-qx561x", "Architecture", "all"},
        {"cockpit-qx561x", "Section", "admin"},
        {"cockpit-qx561x", "Depends", "cockpit-bridge, qx561x (= " QX_PACKAGE_VERSION ")"},
    };
    for (const auto& c : cases) {
        const RunResult r = runProgram({"dpkg-deb", "--field", qxtest::packageFile(c.package), c.field});
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.out.find(c.expected)) << c.package << " " << c.field << ": " << r.out;
    }
    // configuration.ini is never shipped: it is the plug-in's.
    const RunResult conffiles = runProgram({"dpkg-deb", "--info", qxtest::packageFile("qx561x"), "conffiles"});
    EXPECT_EQ(0, conffiles.status) << conffiles.err;
    EXPECT_EQ("/etc/qxserial/configuration_defaults.ini\n", conffiles.out);
    for (const char* package : {"qx561x-sim", "qx561x-ansible"})
        EXPECT_NE(0, runProgram({"dpkg-deb", "--info", qxtest::packageFile(package), "conffiles"}).status) << package;
}

TEST(Packages, ShipTheSourceRuleModulesAndACommentedDefaultsFile) {
    qxtest::TempDir root;
    const RunResult r = runProgram({"dpkg-deb", "--extract", qxtest::packageFile("qx561x"), root.path()});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(readFile(QX_SOURCE_DIR "/packaging/60-qxserial.rules"),
              readFile(root.file("usr/lib/udev/rules.d/60-qxserial.rules")));
    const std::vector<std::string> defaults = lines(readFile(root.file("etc/qxserial/configuration_defaults.ini")));
    ASSERT_FALSE(defaults.empty());
    for (const std::string& line : defaults) {
        EXPECT_TRUE(line == "[defaults]" || line.rfind(";", 0) == 0) << "not a comment: " << line;
    }
    const RunResult collection =
        runProgram({"dpkg-deb", "--extract", qxtest::packageFile("qx561x-ansible"), root.path()});
    ASSERT_EQ(0, collection.status) << collection.err;
    for (const std::string file :
         {"plugins/modules/port.py", "plugins/modules/port_info.py", "plugins/modules/ports.py",
          "plugins/module_utils/qxhost.py",
          "plugins/doc_fragments/qxhost.py", "meta/runtime.yml", "changelogs/changelog.yaml"})
        EXPECT_TRUE(readFile(QX_SOURCE_DIR "/ansible/" + file) == readFile(root.file(kCollection + file)))
            << file << " differs from the source";
    // The collection's tarball carries the licence itself: the product's, word for word.
    EXPECT_TRUE(readFile(QX_SOURCE_DIR "/LICENSE") == readFile(root.file(kCollection + "LICENSE")));
}

// Every warning that stays is listed here with the reason it stays.
const std::set<std::string> kAcceptedWarnings = {};

TEST(Packages, LintianFindsNoErrorAndNoUnexplainedWarning) {
    const RunResult r = runProgram({"lintian", "--display-info", qxtest::packageFile("qx561x"),
                                    qxtest::packageFile("qx561x-sim"), qxtest::packageFile("qx561x-ansible"),
                                    qxtest::packageFile("cockpit-qx561x")});
    ASSERT_GE(r.status, 0) << r.err << "\n(scripts/deps.sh installs lintian)";
    std::cout << r.out;
    std::vector<std::string> errors;
    std::set<std::string> warnings;
    for (const std::string& line : lines(r.out)) {
        if (line.rfind("E: ", 0) == 0) errors.push_back(line);
        if (line.rfind("W: ", 0) == 0) warnings.insert(line);
    }
    EXPECT_EQ(std::vector<std::string>{}, errors);
    EXPECT_EQ(kAcceptedWarnings, warnings);
    EXPECT_EQ(0, r.status) << r.err;
    // Hardening findings are only informational to lintian; none may stay.
    EXPECT_EQ(r.out.find("hardening-"), std::string::npos);
}

// Every program and the plug-in: full RELRO, every symbol bound at load, MIT in copyright.
TEST(Packages, BinariesAreHardenedAndTheLicenceIsMachineReadable) {
    qxtest::TempDir root;
    for (const char* package : kPackages) {
        const RunResult r = runProgram({"dpkg-deb", "--extract", qxtest::packageFile(package), root.path()});
        ASSERT_EQ(0, r.status) << r.err;
        const std::string copyright = readFile(root.file(std::string("usr/share/doc/") + package + "/copyright"));
        EXPECT_NE(copyright.find("\nLicense: MIT\n"), std::string::npos) << package;
        EXPECT_EQ(copyright.find("proprietary"), std::string::npos) << package;
    }
    for (const char* binary : {"usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig",
                               "usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so", "usr/bin/qxhost",
                               "usr/bin/qxsim"}) {
        const RunResult segments = runProgram({"readelf", "--wide", "--segments", root.file(binary)});
        const RunResult dynamic = runProgram({"readelf", "--wide", "--dynamic", root.file(binary)});
        ASSERT_EQ(0, segments.status) << binary << ": " << segments.err;
        EXPECT_NE(segments.out.find("GNU_RELRO"), std::string::npos) << binary;
        EXPECT_NE(dynamic.out.find("BIND_NOW"), std::string::npos) << binary;
    }
}

std::set<std::string> pathsBelow(const std::string& root) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        paths.insert("./" + fs::relative(entry.path(), root).string() + (entry.is_directory() ? "/" : ""));
    return paths;
}

TEST(Packages, CmakeInstallPlacesEveryFileWhereThePackagesDo) {
    qxtest::TempDir destination;
    const RunResult installed = runProgram(
        {"env", "DESTDIR=" + destination.path(), QX_CMAKE, "--install", QX_BUILD_DIR, "--prefix", "/usr"});
    ASSERT_EQ(0, installed.status) << installed.err;
    std::set<std::string> packaged;
    for (const char* package : kPackages) {
        for (const std::string& entry : contents(qxtest::packageFile(package)))
            packaged.insert(entry.substr(entry.rfind(' ') + 1));
    }
    packaged.erase("./");
    EXPECT_EQ(packaged, pathsBelow(destination.path()));
}

}  // namespace
