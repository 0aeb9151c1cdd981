// SPDX-License-Identifier: MIT
// The packages installed with dpkg into a throwaway root, the installed programs run under
// the installed simulator and the installed collection's documentation read by ansible-doc,
// then removed and purged: nothing stays but the configuration that the plug-in wrote.
// Unprivileged, dpkg runs as root of a user namespace.

#include <unistd.h>

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

const std::string kTool = "/usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig";
const std::string kPort = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty/ttyQX561xPort1";

// A root that dpkg installs into, with a database of its own that knows what this machine
// has installed, so that the packages' dependencies are checked against it.
class DpkgRoot {
public:
    DpkgRoot() {
        for (const char* dir : {"var/lib/dpkg/info", "var/lib/dpkg/updates", "var/log"})
            fs::create_directories(root_.file(dir));
        std::ofstream(root_.file("var/lib/dpkg/available")).flush();
        copyInstalledPackages();
    }

    const std::string& path() const { return root_.path(); }
    std::string file(const std::string& relative) const { return root_.file(relative); }

    RunResult dpkg(const std::vector<std::string>& args) const {
        std::vector<std::string> argv;
        if (::geteuid() != 0) argv = {"unshare", "--map-root-user"};
        argv.insert(argv.end(), {"dpkg", "--root=" + path(), "--log=" + file("var/log/dpkg.log")});
        argv.insert(argv.end(), args.begin(), args.end());
        return runProgram(argv);
    }

    // Every path outside var/, where dpkg keeps its own records.
    std::set<std::string> paths() const {
        std::set<std::string> result;
        for (const auto& entry : fs::recursive_directory_iterator(path())) {
            const std::string relative = fs::relative(entry.path(), path()).string();
            if (relative == "var" || relative.rfind("var/", 0) == 0) continue;
            result.insert(relative + (entry.is_directory() ? "/" : ""));
        }
        return result;
    }

private:
    // Only fully installed packages: dpkg would try to finish the others here. Each gets an
    // empty file list, so dpkg does not warn about hundreds of missing ones.
    void copyInstalledPackages() const {
        std::ifstream in("/var/lib/dpkg/status");
        std::ofstream status(file("var/lib/dpkg/status"));
        const std::string text(std::istreambuf_iterator<char>(in), {});
        for (size_t start = 0; start < text.size();) {
            const size_t end = std::min(text.find("\n\n", start), text.size());
            const std::string stanza = text.substr(start, end - start);
            start = end + 2;
            if (field(stanza, "Status") != "install ok installed") continue;
            status << stanza << "\n\n";
            std::string name = field(stanza, "Package");
            if (field(stanza, "Multi-Arch") == "same") name += ":" + field(stanza, "Architecture");
            std::ofstream(file("var/lib/dpkg/info/" + name + ".list")).flush();
        }
    }

    static std::string field(const std::string& stanza, const std::string& name) {
        const std::string text = "\n" + stanza, key = "\n" + name + ": ";
        const size_t at = text.find(key);
        if (at == std::string::npos) return "";
        const size_t value = at + key.size();
        return text.substr(value, text.find('\n', value) - value);
    }

    qxtest::TempDir root_;
};

// The installed simulator's state directory, removed with the object.
class StateDir {
public:
    std::string path() const { return dir_.file("state"); }

private:
    qxtest::TempDir dir_;
};

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(Installation, InstallsRunsAndRemovesCleanlyInAThrowawayRoot) {
    if (::geteuid() != 0 && runProgram({"unshare", "--map-root-user", "true"}).status != 0)
        GTEST_SKIP() << "dpkg needs root, and this user cannot have a user namespace to be root in";
    DpkgRoot root;
    const RunResult installed = root.dpkg({"--install", qxtest::packageFile("qx561x"), qxtest::packageFile("qx561x-sim"),
                                           qxtest::packageFile("qx561x-ansible"), qxtest::packageFile("cockpit-qx561x")});
    ASSERT_EQ(0, installed.status) << installed.out << installed.err;
    // Cockpit finds the page by its manifest in its data directory.
    EXPECT_EQ(readFile(QX_SOURCE_DIR "/cockpit/manifest.json"),
              readFile(root.file("usr/share/cockpit/qx561x/manifest.json")));

    // The installed simulator shows the installed tool at its fixed path (given explicitly:
    // outside this root that path may hold another tool, or none). The shipped defaults file
    // is all comments, so the built-in values must reach the driver.
    const std::string qxsim = root.file("usr/bin/qxsim");
    const StateDir stateDir;
    const std::string state = stateDir.path();
    const RunResult applied = runProgram(
        {qxsim, "--state", state, "--tool", root.file(kTool.substr(1)), "--", "/bin/sh", "-c",
         "cp \"$1\" /etc/qxserial/ && exec " + kTool + " --port " + kPort +
             " --config-file /etc/qxserial/configuration.ini",
         "sh", root.file("etc/qxserial/configuration_defaults.ini")});
    EXPECT_EQ(0, applied.status) << applied.err;
    EXPECT_EQ("", applied.err);
    const RunResult journal = runProgram({qxsim, "journal", "--state", state});
    EXPECT_EQ(0, journal.status) << journal.err;
    EXPECT_EQ("ttyQX561xPort1 rx 64 ok\nttyQX561xPort1 tx 128 ok\n"
              "ttyQX561xPort1 rs485 0x3,0,0,0,0,0,0,0 ok\n",
              journal.out);

    // The installed host on the installed plug-in sees the simulator's default boards.
    const RunResult listed = runProgram(
        {qxsim, "--state", state, "--tool", root.file(kTool.substr(1)), "--",
         root.file("usr/bin/qxhost"), "--plugin",
         root.file("usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so"), "list"});
    EXPECT_EQ(0, listed.status) << listed.err;
    EXPECT_NE(std::string::npos,
              listed.out.find("0000:03:00.0  model=PCIe-5611/8 slot=3 serial=1A2B3C4D ports=8\n"
                              "  /dev/ttyQX561xPort0  RS-485 rx=64 tx=128 mode=3 (rts-on-send)\n"))
        << listed.out;

    // ansible-doc finds the collection where Debian's ansible-core looks for collections.
    const qxtest::TempDir ansibleHome;
    const RunResult documented = runProgram(
        {"env", "HOME=" + ansibleHome.path(), "ANSIBLE_HOME=" + ansibleHome.path(),
         "ANSIBLE_COLLECTIONS_PATH=" + root.file("usr/share/ansible/collections"), "ansible-doc",
         "qx561x.serial.port"});
    EXPECT_EQ(0, documented.status) << documented.err;
    EXPECT_NE(std::string::npos,
              documented.out.find("> QX561X.SERIAL.PORT    (" +
                                  root.file("usr/share/ansible/collections/ansible_collections/qx561x/serial/"
                                            "plugins/modules/port.py") + ")"))
        << documented.out;

    const std::string written = "[qx561x:7019:3:2]\nFifoRxDepth=100\n";
    std::ofstream(root.file("etc/qxserial/configuration.ini")) << written;

    const RunResult removed = root.dpkg({"--remove", "cockpit-qx561x", "qx561x-ansible", "qx561x", "qx561x-sim"});
    ASSERT_EQ(0, removed.status) << removed.out << removed.err;
    const std::set<std::string> kept = {"etc/", "etc/qxserial/", "etc/qxserial/configuration.ini",
                                        "etc/qxserial/configuration_defaults.ini"};
    EXPECT_EQ(kept, root.paths()) << "removing keeps the conffile and what the plug-in wrote";

    const RunResult purged = root.dpkg({"--purge", "cockpit-qx561x", "qx561x-ansible", "qx561x", "qx561x-sim"});
    ASSERT_EQ(0, purged.status) << purged.out << purged.err;
    const std::set<std::string> left = {"etc/", "etc/qxserial/", "etc/qxserial/configuration.ini"};
    EXPECT_EQ(left, root.paths());
    EXPECT_EQ(written, readFile(root.file("etc/qxserial/configuration.ini")));
    for (const char* package : {"qx561x", "qx561x-sim", "qx561x-ansible", "cockpit-qx561x"})
        EXPECT_NE(0, root.dpkg({"--status", package}).status) << package << " is still known to dpkg";
}

}  // namespace
