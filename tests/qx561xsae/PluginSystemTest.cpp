// SPDX-License-Identifier: MIT
// The plug-in loaded by a host under the simulated driver: what a host framework relies on
// that qxhost's own tests do not show.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "tests/support/Sim.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kPlugin = QX_BUILD_DIR "/qx561xsae/libqx561xsae.so";
const std::string kProbe = QX_BUILD_DIR "/tests/qx561xsae/qx561xsae_probe";
const std::string kHost = QX_BUILD_DIR "/host/qxhost";
using Clock = std::chrono::steady_clock;

// A script under the simulator in a scratch directory, with $HOST standing for qxhost and
// its plug-in, plug plug|unplug BOARD for qxsim's command, and awake FILE NODE
// (qxtest::kAwakeFunction).
qxtest::RunResult script(const qxtest::Sim& sim, const std::string& text) {
    return sim.shell("HOST='" + kHost + " --plugin " + kPlugin + "'\n"
                     "plug() { " + qxtest::Sim::qxsimPath() + " \"$1\" \"$2\" --state " + sim.stateDir() + "; }\n"
                     "work=$(mktemp -d) && cd \"$work\" && trap 'rm -rf \"$work\"' EXIT\n" +
                     qxtest::kAwakeFunction + text);
}

TEST(Plugin, ExportsOnlyItsEntry) {
    const qxtest::RunResult r = qxtest::runProgram({"nm", "-D", "--defined-only", kPlugin});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find(' ') + 1), "T createQx561xSysApiExpert\n");
}

TEST(Plugin, DiagnosticsAreNotSupportedOnAnyItemAndUnknownItemsDoNotExist) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const qxtest::RunResult r = sim.run({kProbe, kPlugin, "selftest"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "existing 80004001\nunknown 80040375\n");
}

TEST(Plugin, ShutsDownPromptlyAndWithNotificationsStillQueued) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    qxtest::RunResult r = sim.run({kProbe, kPlugin, "stop"});
    ASSERT_EQ(r.status, 0) << r.err;
    // The monitor waits without a time limit: only a stop that wakes it ends; the bound is
    // for a hang, not for the machine's speed.
    EXPECT_LT(std::stoi(r.out.substr(r.out.find("in ") + 3)), 2000) << r.out;
    r = sim.run({kProbe, kPlugin, "pending"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("uninitialized after ", 0), 0u) << r.out;
}

// An outside edit of a port's section is a change of that port, an unrelated file is none.
TEST(Plugin, OutsideEditsOfTheFileAreNotifiedAndOtherFilesAreNot) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const qxtest::RunResult r = script(sim, R"sh(
$HOST watch > out & w=$!; awake out /dev/ttyQX561xPort8
echo unrelated > /etc/qxserial/notes.txt; sleep 0.3  # apart from the edit, when it can be
printf '[qx561x:7001:4:2]\nFifoTxDepth=9\n' >> /etc/qxserial/configuration.ini
until grep -q Port9 out; do sleep 0.02; done
kill $w; wait $w; grep -v 'Port8$' out
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "changed port /dev/ttyQX561xPort9\n");
}

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Until file holds text after its first `from` bytes; false after limit.
bool waitForText(const std::string& file, size_t from, const std::string& text,
                 std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const std::string now = contents(file);
        if (now.size() > from && now.find(text, from) != std::string::npos) return true;
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// A board plugged or unplugged from outside the simulation is heard by a watching host
// within a second, with the configuration directory untouched, and the host's next
// request sees it. The second is counted from qxsim's return, when the last port node is
// there: the monitor waits 100 ms for more of them, and the rest is a listing of four
// boards and two hand-overs between threads, which no load on the machine stretches to
// the better part of a second.
TEST(Plugin, BoardsPluggedAndUnpluggedAreHeardWithinASecond) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const qxtest::TempDir shared;  // /tmp is the same inside
    const std::string heard = shared.file("watch"), stop = shared.file("stop");
    qxtest::RunResult r;
    std::thread host([&] {
        r = script(sim, "$HOST watch > " + heard + " & w=$!\n"
                        "while [ ! -e " + stop + " ]; do sleep 0.02; done\n"
                        "kill $w; wait $w\n"
                        "$HOST list | grep -A2 '^0000:07:00.0'\n");
    });
    const auto stopHost = [&] {
        std::ofstream(stop).flush();
        if (host.joinable()) host.join();
    };
    const std::unique_ptr<void, std::function<void(void*)>> stopOnAnyWayOut(&host, [&](void*) { stopHost(); });
    const std::string added = "added board 0000:07:00.0\nadded port /dev/ttyQX561xPort30\n"
                              "added port /dev/ttyQX561xPort31\n";
    const std::string removed = "removed board 0000:07:00.0\nremoved port /dev/ttyQX561xPort30\n"
                                "removed port /dev/ttyQX561xPort31\n";
    // Until the plug-in has taken its first listing and the host has set its sink, a plug
    // may go unheard: then it is tried again, after an unplug that is heard or given time
    // (one right after the other would be one change of nothing). The simulation runs once
    // the watch's output is there.
    while (!std::filesystem::exists(heard)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    bool listening = false;
    for (int attempt = 0; attempt < 10 && !listening; ++attempt) {
        sim.plug("extra");
        listening = waitForText(heard, 0, added, std::chrono::seconds(3));
        if (listening) break;
        sim.unplug("extra");
        waitForText(heard, 0, removed, std::chrono::seconds(3));
    }
    if (!listening) {
        stopHost();
        FAIL() << "the watch never heard a plug: " << contents(heard) << r.err;
    }
    const std::string configuration = sim.stateDir() + "/etc/upper/qxserial";
    const auto configurationBefore = std::filesystem::last_write_time(configuration);

    const size_t start = contents(heard).size();
    sim.unplug("extra");
    auto since = Clock::now();
    EXPECT_TRUE(waitForText(heard, start, removed, std::chrono::seconds(10)));
    const auto removedAfter = Clock::now() - since;
    sim.plug("extra");
    since = Clock::now();
    EXPECT_TRUE(waitForText(heard, start + removed.size(), added, std::chrono::seconds(10)));
    const auto addedAfter = Clock::now() - since;
    stopHost();

    EXPECT_LT(removedAfter, std::chrono::seconds(1));
    EXPECT_LT(addedAfter, std::chrono::seconds(1));
    EXPECT_EQ(contents(heard).substr(start), removed + added);
    EXPECT_EQ(std::filesystem::last_write_time(configuration), configurationBefore);
    EXPECT_TRUE(std::filesystem::is_empty(configuration));
    EXPECT_EQ(r.out, "0000:07:00.0  model=PCIe-5611/2 slot=7 serial=00E7E7E7 ports=2\n"
                     "  /dev/ttyQX561xPort30  RS-485 rx=64 tx=128 mode=3 (rts-on-send)\n"
                     "  /dev/ttyQX561xPort31  RS-485 rx=64 tx=128 mode=3 (rts-on-send)\n");
}

// Whichever host asks, each change the plug-in stores and each it refuses, and each
// application by the tool, leaves one line in the system log, with who asked; the driver
// sees the requests it always saw.
TEST(Plugin, ChangesRefusalsAndApplicationsLeaveTheirLineInTheSystemLog) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const qxtest::RunResult r = script(sim, R"sh(
id -u
$HOST set /dev/ttyQX561xPort0 rx=32 > /dev/null
$HOST set /dev/ttyQX561xPort0 rx=300 2> /dev/null
$HOST set /dev/ttyQX561xPort20 tx=100 2> /dev/null
)sh");
    ASSERT_FALSE(r.out.empty()) << r.err;
    const std::string who = " uid=" + r.out.substr(0, r.out.size() - 1) + " ";
    const std::string port0 = "port=/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty/ttyQX561xPort0 "
                              "node=/dev/ttyQX561xPort0 section=qx561x:703b:3:1";
    const std::string port20 = "port=/sys/devices/pci0000:00/0000:00:1c.3/0000:06:00.0/tty/ttyQX561xPort20 "
                               "node=/dev/ttyQX561xPort20 section=qx561x:7007:6:1";
    // Up to who asked; the failure's reason is the tool's report.
    const std::vector<std::string> expected = {
        "daemon.notice Port setting changed: event=changed " + port0 + " key=FifoRxDepth before=64 after=32",
        "daemon.info Port settings applied: event=applied " + port0 +
            " FifoRxDepth=32 FifoTxDepth=128 Rs485TransceiverMode=3 result=ok",
        "daemon.notice Port setting refused: event=refused " +
            port0.substr(0, port0.find(" section")) +
            " key=FifoRxDepth value=300 reason=\"outside 1..127\" request=check",
        "daemon.notice Port setting changed: event=changed " + port20 + " key=FifoTxDepth before=128 after=100",
        "daemon.err Port settings not applied: event=applied " + port20 + " FifoRxDepth=64 result=failed reason=\"",
    };
    const std::regex header(R"(^(\S+) [A-Z][a-z]{2} [ 1-3][0-9] [0-9:]{8} qxserial\[[0-9]+\]: (.*)$)");
    const std::vector<std::string> log = sim.systemLog();
    ASSERT_EQ(log.size(), expected.size()) << testing::PrintToString(log);
    for (size_t i = 0; i < log.size(); ++i) {
        std::smatch parts;
        ASSERT_TRUE(std::regex_match(log[i], parts, header)) << log[i];
        const std::string line = parts[1].str() + " " + parts[2].str();
        const size_t asker = line.find(who);
        ASSERT_NE(asker, std::string::npos) << line;
        const std::string what = line.substr(0, asker);
        EXPECT_EQ(what.substr(0, i + 1 < log.size() ? what.size() : expected[i].size()), expected[i]);
    }
    EXPECT_NE(log.back().find("failed to set RX FIFO trigger level"), std::string::npos) << log.back();
    EXPECT_EQ(sim.journal(), (std::vector<qxtest::JournalLine>{{"ttyQX561xPort0", "rx", "32", "ok"},
                                                               {"ttyQX561xPort0", "tx", "128", "ok"},
                                                               {"ttyQX561xPort0", "rs485", "0x3,0,0,0,0,0,0,0", "ok"},
                                                               {"ttyQX561xPort20", "rx", "64", "EIO"}}));
}

// Boards are found through the kernel's index of PCI functions where its link leads to the
// board's directory, and by a walk of the device tree where the link is missing or leads
// elsewhere; either way the host sees what the walk alone shows: the same items, paths and
// order, port by port.
TEST(Plugin, BoardsWhoseIndexLinkIsMissingOrWrongAreListedAsTheWalkListsThem) {
    struct Case {
        const char* board;
        const char* busLink;  // null: the kernel's link
    };
    const Case cases[] = {
        {"linked", nullptr},
        {"missing", "none"},
        {"anotherboard", "../../../devices/pci0000:00/0000:00:1c.0/0000:03:00.0"},
        {"outside", "../../../bus"},
        {"file", "../../../devices/pci0000:00/0000:00:1c.0/0000:03:00.0/vendor"},
        {"dangling", "../../../devices/pci0000:00/0000:00:1c.99/0000:08:00.0"},
        {"othername", "../../../devices/pci0000:00"},
        {"absolute", "/sys/devices/pci0000:00/0000:00:1c.7/0000:0a:00.0"},
        {"throughalias", "../../../devices/alias/0000:0b:00.0"},
        {"namedfile", "../../../devices/files/0000:0c:00.0"},
        {"namedoutside", "elsewhere/0000:0d:00.0"},
    };
    const auto address = [](std::size_t i) { return "0000:0" + std::string(1, "3456789abcd"[i]) + ":00.0"; };
    const auto boards = [&](bool links) {
        qxtest::BoardFile file;
        for (std::size_t i = 0; i < std::size(cases); ++i) {
            qxtest::BoardFile::Section& board = file.board(cases[i].board)
                .set("model", "PCI-5611/2 (RS-485) Interface").set("address", address(i))
                .set("parent", "pci0000:00/0000:00:1c." + std::to_string(i)).set("slot-path", std::to_string(i))
                .set("first-port", std::to_string(2 * i));
            if (!links) board.set("bus-link", "none");
            else if (cases[i].busLink) board.set("bus-link", cases[i].busLink);
        }
        return file;
    };
    // The alias leads to the board's directory through a link of the tree's own; the file
    // (listed by the walk too) and the directory outside the tree carry the board's name.
    const std::string list = "ln -s pci0000:00/0000:00:1c.8 /sys/devices/alias && mkdir /sys/devices/files && "
                             "touch /sys/devices/files/0000:0c:00.0 && "
                             "mkdir -p /sys/bus/pci/devices/elsewhere/0000:0d:00.0 && $HOST list --json";
    const qxtest::RunResult indexed = script(qxtest::Sim(boards(true)), list);
    const qxtest::RunResult walked = script(qxtest::Sim(boards(false)), list);
    ASSERT_EQ(walked.status, 0) << walked.err;
    EXPECT_EQ(indexed.status, 0) << indexed.err;
    EXPECT_EQ(indexed.out, walked.out);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string port = "port:/sys/devices/pci0000|3A00/0000|3A00|3A1c." + std::to_string(i) + "/0000|3A0" +
                                 address(i).substr(6, 1) + "|3A00.0/tty/ttyQX561xPort";
        for (std::size_t n : {2 * i, 2 * i + 1})
            EXPECT_NE(walked.out.find("\"" + port + std::to_string(n) + "\""), std::string::npos) << cases[i].board;
    }
}

// A board unplugged and plugged again and again while hosts list: every listing succeeds
// and shows the boards around it whole.
TEST(Plugin, ABoardUnpluggedWhileListingLeavesTheOthersWhole) {
    qxtest::BoardFile boards;
    const char* names[] = {"first", "flapping", "last"};
    for (int i = 0; i < 3; ++i)
        boards.board(names[i]).set("model", "PCI-5611/2 (RS-485) Interface")
            .set("address", "0000:0" + std::to_string(i + 3) + ":00.0")
            .set("parent", "pci0000:00/0000:00:1c." + std::to_string(i)).set("first-port", std::to_string(2 * i));
    const qxtest::Sim sim(boards);
    const qxtest::RunResult r = script(sim, R"sh(
(for i in $(seq 15); do plug unplug flapping; plug plug flapping; done; touch done) &
n=0
while [ ! -e done ] || [ $n -lt 3 ]; do
    n=$((n + 1))
    $HOST list > list.$n || echo "listing $n failed"
    for port in 0 1 4 5; do grep -q "/dev/ttyQX561xPort$port " list.$n || echo "listing $n lacks port $port"; done
done
wait
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
}

TEST(Plugin, APortNameHoldingShellSyntaxIsPassedAsItIs) {
    qxtest::BoardFile boards;
    boards.board("hostile")
        .set("model", "PCI-5611/2 (RS-485) Interface")
        .set("address", "0000:09:00.0")
        .set("parent", "pci0000:00/q\"&$(touch pwned);`touch pwned2`|a:b \\x3b x")
        .set("slot-path", "9")
        .set("first-port", "40");
    const qxtest::Sim sim(boards);
    const qxtest::RunResult r = script(sim, R"sh(
$HOST set /dev/ttyQX561xPort41 rx=33 mode=2
ls; ls / | grep pwned; cat /etc/qxserial/configuration.ini
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "/dev/ttyQX561xPort41 RxFifoDepth 64 -> 33\n"
                     "/dev/ttyQX561xPort41 Rs485TransceiverMode 3 -> 2\n"
                     "[qx561x:7007:9:2]\nFifoRxDepth=33\nFifoTxDepth=128\nRs485TransceiverMode=2\n");
    EXPECT_EQ(sim.journal(), (std::vector<qxtest::JournalLine>{
                                 {"ttyQX561xPort41", "rx", "33", "ok"},
                                 {"ttyQX561xPort41", "tx", "128", "ok"},
                                 {"ttyQX561xPort41", "rs485", "0x1,0,0,0,0,0,0,0", "ok"}}));
}

// A slot path the file could not give back as a section name is refused before the file is
// touched; every other port goes on working.
TEST(Plugin, APortWhoseSectionCannotBeWrittenIsRefusedAndTheFileKept) {
    qxtest::BoardFile boards;
    boards.board("ok").set("model", "PCI-5611/2 (RS-485) Interface").set("address", "0000:03:00.0")
        .set("parent", "pci0000:00/0000:00:1c.0").set("slot-path", "3").set("first-port", "0");
    boards.board("broken").set("model", "PCI-5611/2 (RS-485) Interface").set("address", "0000:04:00.0")
        .set("parent", "pci0000:00/0000:00:1c.1").set("first-port", "8")
        .set("bytes.busProperties/pciSlotPath", "34 0a 5b 35 5d 00");  // "4\n[5]"
    const qxtest::Sim sim(boards);
    const qxtest::RunResult r = script(sim, R"sh(
printf '[qx561x:7007:3:1]\nFifoRxDepth=7\n' > /etc/qxserial/configuration.ini
md5sum < /etc/qxserial/configuration.ini > before
$HOST set /dev/ttyQX561xPort8 rx=20; echo "exit $?"
md5sum < /etc/qxserial/configuration.ini | cmp -s - before && echo "file unchanged"
$HOST set /dev/ttyQX561xPort1 rx=21; echo "exit $?"
)sh");
    EXPECT_EQ(r.out, "exit 1\nfile unchanged\n/dev/ttyQX561xPort1 RxFifoDepth 64 -> 21\nexit 0\n");
    EXPECT_NE(r.err.find("qxhost: /dev/ttyQX561xPort8: SetItemProperties2 failed: 0x80004005 E_FAIL"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(sim.journal().size(), 3u);
}

// /etc/qxserial missing when a host starts: the plug-in starts all the same and says which
// path is missing; a set fails, for want of the directory. A watch goes on hearing of
// changes after the directory is made anew.
TEST(Plugin, TheConfigurationDirectoryMissingOrMadeAnew) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const qxtest::RunResult r = script(sim, R"sh(
rmdir /etc/qxserial
$HOST list > /dev/null 2> list.err; echo "list: $?"
$HOST set /dev/ttyQX561xPort1 rx=10 > /dev/null 2> set.err; echo "set: $?"
mkdir /etc/qxserial
$HOST watch > out 2> watch.err & w=$!; awake out /dev/ttyQX561xPort8
rm -rf /etc/qxserial; mkdir /etc/qxserial
$HOST set /dev/ttyQX561xPort1 rx=11 > /dev/null
$HOST set /dev/ttyQX561xPort9 rx=12 > /dev/null
until grep -q Port9 out; do sleep 0.02; done
kill $w; wait $w; echo "watch: $?"; grep -v 'Port8$' out; cat list.err set.err
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string missing = "qx561xsae: configuration directory /etc/qxserial does not exist; "
                                "watching /etc until it is made\n";
    EXPECT_EQ(r.out, "list: 0\nset: 1\nwatch: 143\n"
                     "changed port /dev/ttyQX561xPort1\nchanged port /dev/ttyQX561xPort9\n" + missing + missing +
                     "qxhost: /dev/ttyQX561xPort1: SetItemProperties2 failed: 0x80040375 E_SYSAPI_ITEM_NOT_EXIST: "
                     "cannot write /etc/qxserial/configuration.ini: /etc/qxserial does not exist\n");
}

// Configuration files that are no plain files: a FIFO nobody writes, an endless device.
// Every command ends at once instead of waiting or reading for ever.
TEST(Plugin, ConfigurationFilesThatAreNoPlainFilesEndEveryCommandAtOnce) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const qxtest::RunResult r = script(sim, R"sh(
run() { timeout -s KILL 20 $HOST "$@" > /dev/null 2>&1; echo " $1 $?"; }
for kind in fifo zero defaults-fifo; do
    rm -f /etc/qxserial/*
    case $kind in
    fifo) mkfifo /etc/qxserial/configuration.ini ;;
    zero) ln -s /dev/zero /etc/qxserial/configuration.ini ;;
    defaults-fifo) mkfifo /etc/qxserial/configuration_defaults.ini ;;
    esac
    printf %s "$kind:"; run list; run show /dev/ttyQX561xPort1; run set /dev/ttyQX561xPort1 rx=5
    ls /etc/qxserial
done
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    // The boards are listed without ports: a port's settings cannot be read.
    EXPECT_EQ(r.out, "fifo: list 0\n show 1\n set 1\nconfiguration.ini\n"
                     "zero: list 0\n show 1\n set 1\nconfiguration.ini\n"
                     "defaults-fifo: list 0\n show 1\n set 1\nconfiguration_defaults.ini\n");
}

// A board whose device path is not UTF-8 cannot be named to a host; it is left out, and
// said so, naming the bytes. The other boards are listed as always.
TEST(Plugin, ABoardThatCannotBeNamedIsLeftOutAndSaidSo) {
    qxtest::BoardFile boards;
    boards.board("ok").set("model", "PCI-5611/2 (RS-485) Interface").set("address", "0000:03:00.0")
        .set("parent", "pci0000:00/0000:00:1c.0").set("slot-path", "3").set("first-port", "0")
        .set("serial", "0000AAAA");
    boards.board("latin1").set("model", "PCI-5611/2 (RS-485) Interface").set("address", "0000:04:00.0")
        .set("parent", "pci0000:00/caf\\xe9\\x0a").set("slot-path", "4").set("first-port", "8");
    const qxtest::Sim sim(boards);
    const qxtest::RunResult r = script(sim, "$HOST list");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0000:03:00.0  model=PCI-5611/2 slot=3 serial=0000AAAA ports=2\n"
                     "  /dev/ttyQX561xPort0  RS-485 rx=64 tx=128 mode=3 (rts-on-send)\n"
                     "  /dev/ttyQX561xPort1  RS-485 rx=64 tx=128 mode=3 (rts-on-send)\n");
    EXPECT_EQ(r.err, "qx561xsae: board /sys/devices/pci0000:00/caf\\xE9\\x0A/0000:04:00.0 is not "
                     "listed: its path is not valid UTF-8\n");
}

}  // namespace

namespace {

// Eight host threads list, read and set while the file is edited from outside and a board
// comes and goes: every call answers a code a host expects, and nothing races (this runs
// under ThreadSanitizer too).
TEST(PluginConcurrency, EightHostThreadsWhileTheFileIsEditedAndABoardComesAndGoes) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const std::string state = " extra --state " + sim.stateDir();
    const qxtest::RunResult r = sim.run({kProbe, kPlugin, "stress", "30",
                                         qxtest::Sim::qxsimPath() + " plug" + state,
                                         qxtest::Sim::qxsimPath() + " unplug" + state});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::istringstream lines(r.out);
    int notified = -1;
    for (std::string code; lines >> code;) {
        int count = 0;
        lines >> count;
        if (code == "notified") {
            notified = count;
            continue;
        }
        EXPECT_TRUE(code == "00000000" || code == "00000001") << code << " x " << count;
    }
    EXPECT_GT(notified, 0);
}

}  // namespace
