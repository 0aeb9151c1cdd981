// SPDX-License-Identifier: MIT
// The simulator as the product and the tests see it: trees, nodes, requests, the journal,
// board-file faults, exit status, and a host left as it was.

#include "tests/support/Sim.h"
#include "tests/support/TempDir.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using qxtest::BoardFile;
using qxtest::JournalLine;
using qxtest::RunResult;
using qxtest::Sim;

namespace {

const std::string kProbe = QX_PROBE;
const std::string kBoardA = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0";


// Two boards: "a" (RS-485, ports 4-7 behind a bridge) and "b" (RS-232, ports 0-1).
BoardFile twoBoards() {
    BoardFile boards;
    boards.board("a")
        .set("model", "PCIe-5613/4 (Isolated RS-485) Interface")
        .set("address", "0000:03:00.0")
        .set("parent", "pci0000:00/0000:00:1c.0")
        .set("slot-path", "7")
        .set("serial", "1A2B3C4D")
        .set("first-port", "4")
        .set("ports", "4");
    boards.board("b").set("model", "PCI-5610/2").set("address", "0000:05:01.2").set("first-port", "0");
    return boards;
}

std::string bytesOf(const std::string& text) {
    std::ostringstream out;
    for (unsigned char c : text) out << (out.tellp() ? " " : "") << std::hex << unsigned(c);
    return out.str();
}

std::string mountTable() {
    std::ifstream in("/proc/self/mountinfo");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

TEST(SimSystem, DefaultBoardsAppearInTheDriverDirectory) {
    Sim sim;
    const RunResult r = sim.run({"ls", "/proc/driver/qx"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pci:0000:03:00.0\npci:0000:05:01.0\npci:0000:0b:0f.0\n");
    const auto ports = sim.ports();
    EXPECT_EQ(ports.size(), 14u);
    EXPECT_EQ(ports.at("ttyQX561xPort8").board, "rs232");
    EXPECT_EQ(ports.at("ttyQX561xPort20").board, "pxi");
    const std::string raw = Sim::qxsim({"ports", "--state", sim.stateDir()}).out;
    EXPECT_LT(raw.find("ttyQX561xPort9 "), raw.find("ttyQX561xPort10 ")) << "not in index order:\n" << raw;
}

TEST(SimSystem, PropertyFilesHoldRawWordsAndTerminatedText) {
    Sim sim(twoBoards());
    const std::string dir = "/proc/driver/qx/pci:0000:05:01.2/";
    const struct {
        const char* file;
        std::string bytes;
    } cases[] = {
        {"busProperties/pciVendorID", "58 51 0 0"},
        {"busProperties/pciDeviceID", "1 70 0 0"},
        {"busProperties/pciBusNumber", "5 0 0 0"},
        {"busProperties/pciDeviceNumber", "1 0 0 0"},
        {"busProperties/pciFunctionNumber", "2 0 0 0"},
        {"busProperties/pciSlotPath", "35 0"},          // default: the bus number, "5"
        {"deviceProperties/serialNumber", ""},
    };
    for (const auto& c : cases) {
        const RunResult r = sim.run({"cat", dir + c.file});
        ASSERT_EQ(r.status, 0) << c.file << ": " << r.err;
        if (!c.bytes.empty()) EXPECT_EQ(bytesOf(r.out), c.bytes) << c.file;
        else EXPECT_EQ(r.out.back(), '\0') << c.file;
    }
    const RunResult a = sim.run({"cat", "/proc/driver/qx/pci:0000:03:00.0/busProperties/pciSlotPath",
                                 "/proc/driver/qx/pci:0000:03:00.0/deviceProperties/serialNumber"});
    EXPECT_EQ(a.out, std::string("7\0" "1A2B3C4D\0", 11));
}

TEST(SimSystem, PortsSitTwoLevelsBelowTheBoardWithNodesInDev) {
    Sim sim(twoBoards());
    const RunResult r = sim.shell("ls " + kBoardA + "/tty && cat " + kBoardA + "/tty/ttyQX561xPort5/dev && "
                                  "grep DEVNAME " + kBoardA + "/tty/ttyQX561xPort5/uevent && "
                                  "ls /dev | grep ttyQX561x && ls /sys/devices/pci0000:00/0000:05:01.2/tty");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "ttyQX561xPort4\nttyQX561xPort5\nttyQX561xPort6\nttyQX561xPort7\n"
              "240:5\nDEVNAME=ttyQX561xPort5\n"
              "ttyQX561xPort0\nttyQX561xPort1\nttyQX561xPort4\nttyQX561xPort5\nttyQX561xPort6\nttyQX561xPort7\n"
              "ttyQX561xPort0\nttyQX561xPort1\n");
}

TEST(SimSystem, FillerMakesTheTreeLarge) {
    BoardFile boards = twoBoards();
    boards.filler(3000);
    Sim sim(boards);
    const RunResult r = sim.shell("find /sys/devices -type d | wc -l");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_GE(std::stoi(r.out), 3000);
}

TEST(SimSystem, RequestsOnAPortNodeAreAnsweredAndJournalled) {
    Sim sim(twoBoards());
    const RunResult r = sim.run({kProbe, "/dev/ttyQX561xPort5", "rx", "64", "tx", "128", "rs485", "0x3"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rx ok\ntx ok\nrs485 ok\n");
    EXPECT_EQ(sim.journal(), (std::vector<JournalLine>{{"ttyQX561xPort5", "rx", "64", "ok"},
                                                       {"ttyQX561xPort5", "tx", "128", "ok"},
                                                       {"ttyQX561xPort5", "rs485", "0x3,0,0,0,0,0,0,0", "ok"}}));
    const auto ports = sim.ports();
    const auto& port = ports.at("ttyQX561xPort5");
    EXPECT_EQ(port.board, "a");
    EXPECT_EQ(port.rx, "64");
    EXPECT_EQ(port.tx, "128");
    EXPECT_EQ(port.rs485, "0x3");
    EXPECT_EQ(port.requests, 3u);
    EXPECT_EQ(ports.at("ttyQX561xPort4").rx, "-");
    EXPECT_EQ(ports.at("ttyQX561xPort4").requests, 0u);

    // The exact lines, since every system test reads them.
    const std::string table = Sim::qxsim({"ports", "--state", sim.stateDir()}).out;
    EXPECT_NE(table.find("\nttyQX561xPort4 board=a rx=- tx=- rs485=- requests=0\n"
                         "ttyQX561xPort5 board=a rx=64 tx=128 rs485=0x3 requests=3\n"),
              std::string::npos)
        << table;
    EXPECT_EQ(Sim::qxsim({"journal", "--state", sim.stateDir()}).out,
              "ttyQX561xPort5 rx 64 ok\nttyQX561xPort5 tx 128 ok\nttyQX561xPort5 rs485 0x3,0,0,0,0,0,0,0 ok\n");
}

TEST(SimSystem, PortValuesAndJournalCarryOverToTheNextRun) {
    Sim sim(twoBoards());
    ASSERT_EQ(sim.run({kProbe, "/dev/ttyQX561xPort4", "rx", "64"}).status, 0);
    ASSERT_EQ(sim.run({kProbe, "/dev/ttyQX561xPort4", "tx", "32"}).status, 0);
    const auto port = sim.ports().at("ttyQX561xPort4");
    EXPECT_EQ(port.rx, "64");
    EXPECT_EQ(port.tx, "32");
    EXPECT_EQ(port.requests, 2u);
    EXPECT_EQ(sim.journal().size(), 2u);
}

TEST(SimSystem, ReadingAStateThatDoesNotExistFailsWithoutCreatingIt) {
    Sim sim;
    for (const char* what : {"ports", "journal"}) {
        const RunResult r = Sim::qxsim({what, "--state", sim.stateDir() + "/none"});
        EXPECT_NE(r.status, 0) << what;
        EXPECT_EQ(r.err, "qxsim: no simulation state in " + sim.stateDir() + "/none\n") << what;
    }
    struct stat info {};
    EXPECT_NE(::stat((sim.stateDir() + "/none").c_str(), &info), 0);
}

TEST(SimSystem, LevelsOutsideOneTo128AreRefusedAndKeepTheOldValue) {
    Sim sim(twoBoards());
    const RunResult r = sim.run({kProbe, "/dev/ttyQX561xPort4", "rx", "0", "rx", "1", "rx", "129", "tx", "128",
                                 "tx", "300", "tx", "4294967297"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rx EINVAL\nrx ok\nrx EINVAL\ntx ok\ntx EINVAL\ntx EINVAL\n");
    const auto port = sim.ports().at("ttyQX561xPort4");
    EXPECT_EQ(port.rx, "1");
    EXPECT_EQ(port.tx, "128");
    EXPECT_EQ(port.requests, 6u);
    EXPECT_EQ(sim.journal().at(4), (JournalLine{"ttyQX561xPort4", "tx", "300", "EINVAL"}));
}

TEST(SimSystem, OtherDescriptorsReachTheKernel) {
    Sim sim(twoBoards());
    const RunResult r = sim.run({kProbe, "/dev/null", "rx", "64", "tx", "64", "rs485", "1"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rx ENOTTY\ntx ENOTTY\nrs485 ENOTTY\n");
    EXPECT_TRUE(sim.journal().empty());
}

TEST(SimSystem, UnreadableRecordFailsWithEfault) {
    Sim sim(twoBoards());
    const RunResult r = sim.run({kProbe, "/dev/ttyQX561xPort4", "rs485-unmapped", "0"});
    EXPECT_EQ(r.out, "rs485-unmapped EFAULT\n");
    EXPECT_EQ(sim.journal(), (std::vector<JournalLine>{{"ttyQX561xPort4", "rs485", "-", "EFAULT"}}));
}

TEST(SimSystem, RefusalsApplyToTheirBoardOnly) {
    BoardFile boards = twoBoards();
    boards.board("c").set("model", "PCI-5611/2").set("address", "0000:06:00.0").set("refuse", "tx:EIO rs485:ENOTTY");
    Sim sim(boards);
    const RunResult r = sim.shell(kProbe + " /dev/ttyQX561xPort8 rx 8 tx 8 rs485 1 && " + kProbe +
                                  " /dev/ttyQX561xPort4 rx 8 tx 8 rs485 1");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "rx ok\ntx EIO\nrs485 ENOTTY\nrx ok\ntx ok\nrs485 ok\n");
    const auto ports = sim.ports();
    EXPECT_EQ(ports.at("ttyQX561xPort8").tx, "-");
    EXPECT_EQ(ports.at("ttyQX561xPort8").rs485, "-");
    EXPECT_EQ(ports.at("ttyQX561xPort4").tx, "8");
}

TEST(SimSystem, MissingAndBytesShapeThePropertyFiles) {
    BoardFile boards;
    boards.board("odd")
        .set("address", "0000:03:00.0")
        .set("missing", "busProperties/pciSlotPath deviceProperties")
        .set("bytes.busProperties/pciVendorID", "01 02 03 04 05 06 07 08")
        .set("bytes.busProperties/pciDeviceID", "19 70");
    Sim sim(boards);
    const std::string dir = "/proc/driver/qx/pci:0000:03:00.0/";
    const RunResult r = sim.shell("ls " + dir + "busProperties; ls " + dir + "; cat " + dir +
                                  "busProperties/pciVendorID " + dir + "busProperties/pciDeviceID");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pciBusNumber\npciDeviceID\npciDeviceNumber\npciFunctionNumber\npciVendorID\n"
                     "busProperties\n\x01\x02\x03\x04\x05\x06\x07\x08\x19\x70");
}

TEST(SimSystem, MalformedBoardFileStopsBeforeTheCommandWithFileAndLine) {
    const struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"[board a]\naddress = 0000:03:00.0\nspeed = fast\n", ":3: unknown key 'speed'"},
        {"[board a]\naddress = 0000:03:00.0\nports = many\n", ":3: ports must be a number from 0 to 256"},
        {"\n[board a]\nmodel = nothing\naddress = 0000:03:00.0\n", ":3: unknown model 'nothing'"},
        {"", ": holds no section"},
    };
    for (const auto& c : cases) {
        Sim sim(BoardFile().raw(c.text));
        const RunResult r = sim.run({"touch", sim.stateDir() + "/ran"});
        EXPECT_EQ(r.status, 2) << c.text;
        EXPECT_EQ(r.err, "qxsim: " + sim.boardFile() + c.message + "\n") << c.text;
        struct stat info {};
        EXPECT_NE(::stat((sim.stateDir() + "/ran").c_str(), &info), 0) << "the command ran for:\n" << c.text;
    }
    const RunResult unreadable = Sim::qxsim({"--boards", "/nonexistent.ini", "--", "true"});
    EXPECT_EQ(unreadable.status, 2);
    EXPECT_NE(unreadable.err.find("/nonexistent.ini: cannot be read"), std::string::npos) << unreadable.err;
}

TEST(SimSystem, ExitStatusOfTheCommandPassesThrough) {
    Sim sim(twoBoards());
    const struct {
        std::vector<std::string> command;
        int status;
    } cases[] = {
        {{"true"}, 0},
        {{"sh", "-c", "exit 42"}, 42},
        {{"sh", "-c", "kill -TERM $$"}, 128 + 15},
        {{"/nonexistent/command"}, 127},
        {{"/dev/null"}, 126},
    };
    for (const auto& c : cases) EXPECT_EQ(sim.run(c.command).status, c.status) << c.command.at(0);
    EXPECT_EQ(Sim::qxsim({"--state", sim.stateDir()}).status, 2);
    EXPECT_EQ(Sim::qxsim({"--bogus", "--", "true"}).status, 2);
}

TEST(SimSystem, WaitsForEveryProcessTheCommandLeftRunning) {
    Sim sim(twoBoards());
    const std::string marker = sim.stateDir() + "/late";
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = sim.shell("(sleep 1; " + kProbe + " /dev/ttyQX561xPort6 rx 9 > " + marker + ") & exit 0");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    std::ifstream late(marker);
    std::string line;
    std::getline(late, line);
    EXPECT_EQ(line, "rx ok");
    EXPECT_EQ(sim.ports().at("ttyQX561xPort6").rx, "9");
}

TEST(SimSystem, ConcurrentProcessesAreAllJournalled) {
    Sim sim(twoBoards());
    std::string script;
    for (int port : {4, 5, 6, 7, 0, 1}) {
        for (int round = 0; round < 3; ++round)
            script += kProbe + " /dev/ttyQX561xPort" + std::to_string(port) + " rx 10 tx 20 rs485 1 >/dev/null & ";
    }
    const RunResult r = sim.shell(script + "wait");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(sim.journal().size(), 6u * 3u * 3u);
    for (const auto& [name, port] : sim.ports()) {
        EXPECT_EQ(port.requests, 9u) << name;
        EXPECT_EQ(port.rx, "10") << name;
    }
}

// By default the tool and the plug-in of this build tree; each may be replaced.
TEST(SimSystem, ToolAndPluginAppearAtTheirFixedPaths) {
    const std::string dir = "/usr/lib/x86_64-linux-gnu/qx561x/";
    {
        Sim sim(twoBoards());
        const RunResult r = sim.shell("cmp " + dir + "qxserialconfig " + Sim::toolPath() + " && cmp " +
                                      dir + "libqx561xsae.so " + QX_BUILD_DIR "/qx561xsae/libqx561xsae.so");
        EXPECT_EQ(r.status, 0) << r.out << r.err;
    }
    Sim sim(twoBoards());
    sim.setTool("/bin/echo");
    sim.setPlugin("/bin/true");
    const RunResult r = sim.shell(dir + "qxserialconfig hello && cmp " + dir + "libqx561xsae.so /bin/true");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "hello\n");
}

TEST(SimSystem, ConfigurationPersistsInTheStateAndTheHostStaysAsItWas) {
    const std::string mountsBefore = mountTable();
    {
        Sim sim(twoBoards());
        RunResult r = sim.shell("echo '[x]' > /etc/qxserial/configuration.ini && touch /etc/qxsim-probe "
                                "/dev/qxsim-probe && echo ok > /dev/null && ls /dev/pts >/dev/null && "
                                "touch /dev/shm/qxsim-probe-$$ && rm /dev/shm/qxsim-probe-$$");
        ASSERT_EQ(r.status, 0) << r.err;
        r = sim.run({"cat", "/etc/qxserial/configuration.ini"});
        EXPECT_EQ(r.out, "[x]\n") << r.err;
    }
    struct stat info {};
    for (const char* path : {"/etc/qxserial", "/etc/qxsim-probe", "/dev/qxsim-probe", "/dev/ttyQX561xPort4",
                             "/usr/lib/x86_64-linux-gnu/qx561x"})
        EXPECT_NE(::stat(path, &info), 0) << path << " exists outside the simulator";
    EXPECT_EQ(mountTable(), mountsBefore);
}

TEST(SimSystem, PtysWorkInside) {
    Sim sim(twoBoards());
    const RunResult r = sim.run({"script", "-qec", "tty", "/dev/null"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("/pts/"), std::string::npos) << r.out;
    if (::geteuid() == 0) {
        EXPECT_EQ(r.out.rfind("/dev/pts/", 0), 0u) << r.out;
    }
}

// A mistyped --state must cost nothing: only a directory qxsim made, or found empty, is its own.
TEST(SimSystem, StateDirectoryNotMadeByQxsimIsLeftAlone) {
    const qxtest::TempDir foreign, empty;
    const std::string kept = foreign.write("dev/keep", "mine");
    const RunResult r = Sim::qxsim({"--state", foreign.path(), "--", "true"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(foreign.path() + " is not empty and was not made by qxsim"), std::string::npos) << r.err;
    std::ifstream in(kept);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "mine");
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(Sim::qxsim({"--state", empty.path(), "--", "true"}).status, 0) << "run " << run;
}

// A parent with the bytes a shell or an INI line would trip over is built as it is.
TEST(SimSystem, HostileParentNamesAreBuiltVerbatim) {
    const std::string hostile = "x\"&$(touch owned);`touch owned` ; #y\nz";
    BoardFile boards;
    boards.board("h").set("address", "0000:03:00.0").set("ports", "1")
        .set("parent", "pci0000:00/x\"&$(touch owned);`touch owned` \\x3b \\x23y\\nz");
    Sim sim(boards);
    const RunResult r = sim.run({"cat", "/sys/devices/pci0000:00/" + hostile + "/0000:03:00.0/tty/ttyQX561xPort0/dev"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "240:0\n");
}

// Two boards, "a" plugged and "b" not: b appears and a vanishes, each whole, and requests
// reach b's ports once they are there.
BoardFile boardsThatComeAndGo() {
    BoardFile boards;
    boards.board("a").set("model", "PCI-5611/2").set("address", "0000:03:00.0");
    boards.board("b").set("model", "PCI-5611/2").set("address", "0000:04:00.0").set("present", "no")
        .set("parent", "pci0000:00/0000:00:1c.4");
    return boards;
}

const std::string kShowBoards = "ls /proc/driver/qx; ls /dev | grep ttyQX; ls /sys/devices/pci0000:00/0000:00:1c.4; "
                                "find /sys/bus/pci/devices/ -type l -printf '%f -> %l\\n' | sort";

TEST(SimSystem, BoardsArePluggedAndUnpluggedFromInside) {
    Sim sim(boardsThatComeAndGo());
    const std::string state = " --state " + sim.stateDir();
    const RunResult r = sim.shell(kShowBoards + "; " + Sim::qxsimPath() + " plug b" + state + " && " +
                                  Sim::qxsimPath() + " unplug a" + state + " && " + kShowBoards +
                                  " && " + kProbe + " /dev/ttyQX561xPort2 rx 9");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pci:0000:03:00.0\nttyQX561xPort0\nttyQX561xPort1\n"
                     "0000:03:00.0 -> ../../../devices/pci0000:00/0000:03:00.0\n"
                     "pci:0000:04:00.0\nttyQX561xPort2\nttyQX561xPort3\n0000:04:00.0\n"
                     "0000:04:00.0 -> ../../../devices/pci0000:00/0000:00:1c.4/0000:04:00.0\nrx ok\n");
    EXPECT_EQ(sim.ports().at("ttyQX561xPort2").rx, "9");
}

TEST(SimSystem, BoardsArePluggedAndUnpluggedFromOutsideWhileTheCommandRuns) {
    Sim sim(boardsThatComeAndGo());
    const std::string ready = sim.stateDir() + "/../ready", go = sim.stateDir() + "/../go";
    RunResult r;
    std::thread command([&] {
        r = sim.shell("touch " + ready + "; while [ ! -e " + go + " ]; do sleep 0.02; done; " + kShowBoards);
    });
    while (::access(ready.c_str(), F_OK) != 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_NO_THROW(sim.plug("b"));
    EXPECT_NO_THROW(sim.unplug("a"));
    EXPECT_NO_THROW(sim.plug("b"));  // once is enough; again changes nothing
    std::ofstream(go).flush();
    command.join();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pci:0000:04:00.0\nttyQX561xPort2\nttyQX561xPort3\n0000:04:00.0\n"
                     "0000:04:00.0 -> ../../../devices/pci0000:00/0000:00:1c.4/0000:04:00.0\n");
}

// Plugs of one board race each other and an unplug while a reader looks: the reader finds
// each directory whole or not at all, and nothing is left over. A directory taken away while
// it is read (an unplug, or a second plug replacing the first one's) is read short, as the
// kernel's would be: only a short reading of a directory still in place is half built.
TEST(SimSystem, ConcurrentPlugsNeverShowABoardHalfBuilt) {
    Sim sim(boardsThatComeAndGo());
    const std::string state = " b --state " + sim.stateDir();
    const std::string plug = Sim::qxsimPath() + " plug" + state, unplug = Sim::qxsimPath() + " unplug" + state;
    const std::string done = sim.stateDir() + "/../done", list = sim.stateDir() + "/../list";
    const std::string driverDir = "/proc/driver/qx/pci:0000:04:00.0";
    const std::string deviceDir = "/sys/devices/pci0000:00/0000:00:1c.4/0000:04:00.0";
    const RunResult r = sim.shell(
        "look() { i=$(stat -c %i $1 2>/dev/null) && find $1 -type f > " + list + " 2>/dev/null || return 0; "
        "c=$(wc -l < " + list + "); [ $c = 7 ] || [ \"$(stat -c %i $1 2>/dev/null)\" != $i ] || echo half $c; }; "
        "(for i in $(seq 20); do " + plug + " & " + plug + " & wait; " + unplug + "; done; " + plug + "; touch " +
        done + ") & "
        "while [ ! -e " + done + " ]; do look " + driverDir + "; look " + deviceDir + "; done; wait; " +
        "ls /proc/driver/qx; ls /dev | grep -c ttyQX; ls -A " + sim.stateDir() + "/trees/.staging");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "pci:0000:03:00.0\npci:0000:04:00.0\n4\n");
}

TEST(SimSystem, PlugRefusesUnknownBoardsAndStoppedSimulations) {
    Sim sim(boardsThatComeAndGo());
    const RunResult notYet = Sim::qxsim({"plug", "b", "--state", sim.stateDir()});
    EXPECT_EQ(notYet.status, 1);
    EXPECT_EQ(notYet.err, "qxsim: no simulation is running in " + sim.stateDir() + "\n");
    ASSERT_EQ(sim.run({"true"}).status, 0);
    EXPECT_EQ(Sim::qxsim({"unplug", "a", "--state", sim.stateDir()}).status, 1);
    const RunResult unknown = sim.shell(Sim::qxsimPath() + " plug c --state " + sim.stateDir());
    EXPECT_EQ(unknown.status, 2);
    EXPECT_EQ(unknown.err, "qxsim: the running simulation has no board 'c'\n");
    EXPECT_THROW(sim.plug("a"), std::runtime_error);
}

TEST(SimSystem, StateInUseIsRefused) {
    Sim sim(twoBoards());
    const RunResult r = sim.run({Sim::qxsimPath(), "--state", sim.stateDir(), "--", "true"});
    EXPECT_EQ(r.status, 125);
    EXPECT_NE(r.err.find("in use by another qxsim"), std::string::npos) << r.err;
}

}  // namespace
