// SPDX-License-Identifier: MIT
// qxhost under the simulated driver, with the real plug-in and the real tool: what a person
// or a script sees of every command.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "tests/support/Sim.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kHost = QX_BUILD_DIR "/host/qxhost";
const std::string kPlugin = QX_BUILD_DIR "/qx561xsae/libqx561xsae.so";
const std::string kBoardPath = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0";
const std::string kPortPath = kBoardPath + "/tty/ttyQX561xPort1";
const std::string kBoardItem = "device:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0";
const std::string kPortItem = "port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0/tty/ttyQX561xPort1";

class HostTest : public testing::Test {
protected:
    qxtest::RunResult host(std::vector<std::string> args) const {
        args.insert(args.begin(), {kHost, "--plugin", kPlugin});
        return sim.run(args);
    }
    // A script under the simulator, with $HOST standing for qxhost and its plug-in.
    qxtest::RunResult script(const std::string& text) const {
        return sim.shell("HOST='" + kHost + " --plugin " + kPlugin + "'\n"
                         "work=$(mktemp -d) && cd \"$work\" && trap 'rm -rf \"$work\"' EXIT\n" + text);
    }
    std::string configuration() const {
        return sim.shell("cat /etc/qxserial/configuration.ini 2>/dev/null").out;
    }

    qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
};

TEST_F(HostTest, ListAndShowPrintEveryBoardPortAndProperty) {
    ASSERT_EQ(sim.shell("printf '[qx561x:703b:3:2]\\nFifoRxDepth=32\\nRs485TransceiverMode=1\\n'"
                        " > /etc/qxserial/configuration.ini").status, 0);
    qxtest::RunResult r = host({"list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "0000:03:00.0  model=PCIe-5611/2 slot=3 serial=1A2B3C4D ports=2\n"
              "  /dev/ttyQX561xPort0  RS-485 rx=64 tx=128 mode=3\n"
              "  /dev/ttyQX561xPort1  RS-485 rx=32 tx=128 mode=1\n"
              "0000:04:00.0  model=PCI-5610/2 slot=4 serial=01C0FFEE ports=2\n"
              "  /dev/ttyQX561xPort8  RS-232 rx=64 tx=128\n"
              "  /dev/ttyQX561xPort9  RS-232 rx=64 tx=128\n"
              "0000:06:00.0  model=PCI-5611/2 slot=6 serial=0000BAD0 ports=2\n"
              "  /dev/ttyQX561xPort20  RS-485 rx=64 tx=128 mode=3\n"
              "  /dev/ttyQX561xPort21  RS-485 rx=64 tx=128 mode=3\n");

    r = host({"list", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string firstPort =
              "{\"boards\":[{\"item\":\"" + kBoardItem + "\",\"address\":\"0000:03:00.0\","
              "\"model\":\"PCIe-5611/2\",\"slot\":\"3\",\"serial\":\"1A2B3C4D\",\"portCount\":2,"
              "\"ports\":[{\"item\":\"port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0"
              "/tty/ttyQX561xPort0\",\"node\":\"/dev/ttyQX561xPort0\",\"kind\":\"RS-485\",\"rx\":64,"
              "\"tx\":128,\"mode\":3},";
    EXPECT_EQ(r.out.substr(0, firstPort.size()), firstPort);
    EXPECT_NE(r.out.find("\"node\":\"/dev/ttyQX561xPort9\",\"kind\":\"RS-232\",\"rx\":64,\"tx\":128,"
                         "\"mode\":null}"), std::string::npos);
    const std::string end = "\"mode\":3}]}],\"unlistedBoardPorts\":[]}\n";
    EXPECT_EQ(r.out.substr(r.out.size() - end.size()), end);

    r = host({"show", kPortItem, "0000:04:00.0"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string board232 = "device:/sys/devices/pci0000|3A00/0000|3A00|3A1c.1/0000|3A04|3A00.0";
    EXPECT_EQ(r.out, kPortItem + "\n"
              "  0x01001000  -                      bool      true\n"
              "  0x01002000  -                      uint32    5\n"
              "  0x01004000  -                      string    \"\"\n"
              "  0x01006000  -                      string    \"\"\n"
              "  0x01007000  -                      string    \"\"\n"
              "  0x01008000  -                      bool      false\n"
              "  0x01009000  -                      bool      false\n"
              "  0x0100A000  ParentDevice           string    \"" + kBoardItem + "\"\n"
              "  0x0100B000  PortNumber             int32     2\n"
              "  0x0101C000  -                      int32     1\n"
              "  0x0101D000  Name                   string    \"" + kPortItem + "\"\n"
              "  0x0101F000  PortNode               string    \"/dev/ttyQX561xPort1\"\n"
              "  0x01020000  -                      bool      false\n"
              "  0x01022000  ItemGuid               guid      {00000000-0000-0000-0000-000000000000}\n"
              "  0x01024000  -                      int32     1\n"
              "  0x01028000  -                      bool      false\n"
              "  0x0102A000  -                      int32     -1\n"
              "  0x01037000  -                      uint32    1507336\n"
              "  0x01038000  -                      bool      false\n"
              "  0x01049000  PortNode               string    \"/dev/ttyQX561xPort1\"\n"
              "  0x01054000  -                      bool      false\n"
              "  0x0C001000  SerialSettingsPresent  bool      true\n"
              "  0x0C002000  RxFifoDepthMin         uint32    1\n"
              "  0x0C003000  RxFifoDepthMax         uint32    127\n"
              "  0x0C004000  RxFifoDepthDefault     uint32    64\n"
              "  0x0C005000  RxFifoDepth            uint32    32\n"
              "  0x0C006000  TxFifoDepthMin         uint32    1\n"
              "  0x0C007000  TxFifoDepthMax         uint32    128\n"
              "  0x0C008000  TxFifoDepthDefault     uint32    128\n"
              "  0x0C009000  TxFifoDepth            uint32    128\n"
              "  0x0C00A000  IsRs232                bool      false\n"
              "  0x0C00B000  Rs485TransceiverMode   uint32    1\n" +
              board232 + "\n"
              "  0x01001000  -                      bool      true\n"
              "  0x01002000  -                      uint32    1\n"
              "  0x01003000  VendorId               uint32    20824\n"
              "  0x01004000  VendorName             string    \"Qorvex\"\n"
              "  0x01005000  PciDeviceId            uint32    28673\n"
              "  0x01006000  ModelName              string    \"PCI-5610/2\"\n"
              "  0x01007000  SerialNumber           string    \"01C0FFEE\"\n"
              "  0x01008000  -                      bool      true\n"
              "  0x01009000  -                      bool      false\n"
              "  0x0100A000  -                      string    \"\"\n"
              "  0x0100B000  -                      int32     -1\n"
              "  0x0100C000  PortCount              int32     2\n"
              "  0x01018000  PciBusNumber           uint32    4\n"
              "  0x01019000  PciDeviceNumber        uint32    0\n"
              "  0x0101A000  PciFunctionNumber      uint32    0\n"
              "  0x0101C000  -                      int32     1\n"
              "  0x0101D000  Name                   string    \"" + board232 + "\"\n"
              "  0x0101F000  Description            string    \"RS-232 SN:01C0FFEE\"\n"
              "  0x01020000  -                      bool      false\n"
              "  0x01022000  ItemGuid               guid      {00000000-0000-0000-0000-000000000000}\n"
              "  0x01024000  -                      int32     1\n"
              "  0x01026000  -                      uint32    5\n"
              "  0x01027000  ItemName               string    \"" + board232 + "\"\n"
              "  0x01028000  -                      bool      false\n"
              "  0x0102A000  -                      int32     1000\n"
              "  0x01030000  -                      int32     -1\n"
              "  0x01031000  -                      int32     -1\n"
              "  0x01037000  -                      uint32    1507336\n"
              "  0x01038000  -                      bool      false\n"
              "  0x0103B000  -                      int32     1\n"
              "  0x01048000  -                      int32     1\n"
              "  0x01054000  -                      bool      false\n"
              "  0x01073000  -                      uint32    1\n"
              "  0x01075000  -                      string    \"\"\n"
              "  0x01078000  -                      int32     -1\n"
              "  0x01079000  -                      int32     -1\n"
              "  0x0107A000  -                      uint32    0\n"
              "  0x01086000  -                      uint32    0\n");

    r = host({"show", "--json", "/dev/ttyQX561xPort8"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("{\"tag\":\"0x0C00A000\",\"name\":\"IsRs232\",\"type\":\"bool\",\"value\":true}"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("{\"tag\":\"0x01022000\",\"name\":\"ItemGuid\",\"type\":\"guid\","
                         "\"value\":\"{00000000-0000-0000-0000-000000000000}\"}"),
              std::string::npos);
    EXPECT_EQ(r.out.find("Rs485TransceiverMode"), std::string::npos);
}

TEST_F(HostTest, ANameMayBeGivenEveryWayAPersonWouldTypeIt) {
    const struct {
        std::string typed;
        std::string item;
    } names[] = {
        {kPortItem, kPortItem},
        {"/dev/ttyQX561xPort1", kPortItem},
        {"/dev//ttyQX561xPort1", kPortItem},
        {kPortPath, kPortItem},
        {kPortPath + "/", kPortItem},
        {"/sys/devices/pci0000:00//0000:00:1c.0/./0000:03:00.0/tty/ttyQX561xPort1", kPortItem},
        {kBoardPath, kBoardItem},
        {"0000:03:00.0", kBoardItem},
        {"0000:03:00.0", kBoardItem},
        {"03:00.0", kBoardItem},
        {"0000:0A:00.0", ""},  // no such board: the plug-in says so
    };
    for (const auto& n : names) {
        const qxtest::RunResult r = host({"show", n.typed});
        if (n.item.empty()) {
            EXPECT_EQ(r.status, 1) << n.typed;
            EXPECT_EQ(r.err, "qxhost: GetItemProperties failed: 0x80040375 E_SYSAPI_ITEM_NOT_EXIST\n");
            continue;
        }
        EXPECT_EQ(r.status, 0) << n.typed << ": " << r.err;
        EXPECT_EQ(r.out.substr(0, r.out.find('\n')), n.item) << n.typed;
    }
}

TEST_F(HostTest, SetValidatesStoresAndAppliesOrOnlyValidates) {
    qxtest::RunResult r = host({"set", "/dev/ttyQX561xPort1", "tx=100", "--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "/dev/ttyQX561xPort1 TxFifoDepth 128 -> 100 (valid, not applied)\n");
    EXPECT_EQ(configuration(), "");
    EXPECT_TRUE(sim.journal().empty());

    r = host({"set", kPortPath, "rx=32", "Rs485TransceiverMode=1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "/dev/ttyQX561xPort1 RxFifoDepth 64 -> 32\n"
                     "/dev/ttyQX561xPort1 Rs485TransceiverMode 3 -> 1\n");
    EXPECT_EQ(configuration(), "[qx561x:703b:3:2]\nFifoRxDepth=32\nFifoTxDepth=128\nRs485TransceiverMode=1\n");
    EXPECT_EQ(sim.journal(), (std::vector<qxtest::JournalLine>{
                                 {"ttyQX561xPort1", "rx", "32", "ok"},
                                 {"ttyQX561xPort1", "tx", "128", "ok"},
                                 {"ttyQX561xPort1", "rs485", "0x11,0,0,0,0,0,0,0", "ok"}}));
}

TEST_F(HostTest, FailuresSayWhatFailedAndBadCommandLinesAreRefused) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;  // qxhost's own line of standard error (the tool's report may come first)
    } cases[] = {
        {{"show", "port:/nowhere"}, 1, "qxhost: GetItemProperties failed: 0x80040375 E_SYSAPI_ITEM_NOT_EXIST"},
        {{"set", "/dev/ttyQX561xPort1", "rx=128"}, 1,
         "qxhost: ValidateItemProperties failed: 0x8004037F E_SYSAPI_VALIDATION_VALUE: "
         "RxFifoDepth 128 is outside 1..127"},
        {{"set", "/dev/ttyQX561xPort8", "tx=0", "mode=4"}, 1,
         "qxhost: ValidateItemProperties failed: 0x8004037F E_SYSAPI_VALIDATION_VALUE: "
         "TxFifoDepth 0 is outside 1..128; Rs485TransceiverMode 4 is outside 0..3"},
        {{"set", "/dev/ttyQX561xPort20", "rx=16"}, 1,
         "qxhost: SetItemProperties2 failed: 0x80004005 E_FAIL"},
        {{"set", "/dev/ttyQX561xPort1", "rx=-1"}, 2,
         "qxhost: value of rx must be a number from 0 to 4294967295, got -1"},
        {{"set", "/dev/ttyQX561xPort1", "rx=4294967296"}, 2,
         "qxhost: value of rx must be a number from 0 to 4294967295, got 4294967296"},
        {{"set", "/dev/ttyQX561xPort1", "speed=9600"}, 2, "qxhost: unknown key speed (rx, tx, mode)"},
        {{"set", "/dev/ttyQX561xPort1", "rx=1", "RxFifoDepth=2"}, 2, "qxhost: RxFifoDepth is given twice"},
        {{"set", "0000:03:00.0", "rx=1"}, 2, "qxhost: 0000:03:00.0 is a board; settings belong to its ports"},
        {{"set", "/dev/ttyQX561xPort1"}, 2, "qxhost: set needs a NAME and at least one KEY=VALUE"},
        {{"list", "extra"}, 2, "qxhost: list takes no NAME"},
        {{"reset"}, 2, "qxhost: unknown command reset"},
        {{"list", "--count", "1"}, 2, "qxhost: --count and --timeout belong to watch"},
        {{"watch", "--count", "x"}, 2, "qxhost: --count needs a non-negative number, got \"x\""},
    };
    for (const auto& c : cases) {
        const qxtest::RunResult r = host(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.back() << ": " << r.err;
        const auto own = r.err.rfind("qxhost: ");
        EXPECT_EQ(r.err.substr(own, r.err.find('\n', own) - own), c.err);
    }
    // The refusing board's settings were stored before the driver refused them.
    EXPECT_NE(configuration().find("[qx561x:7007:6:1]\nFifoRxDepth=16\n"), std::string::npos);

    const qxtest::RunResult missing = sim.run({kHost, "--plugin", "/nonexistent.so", "list"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err.rfind("qxhost: loading /nonexistent.so failed: 0x80004005 E_FAIL: ", 0), 0u)
        << missing.err;
}

// A tool that never ends does not hold a set for ever: the plug-in kills it at its time
// limit, with what it started, and the set fails after the settings were stored.
TEST_F(HostTest, ASetWhoseToolHangsFailsAtTheTimeLimit) {
    const qxtest::TempDir dir;
    const std::string tool = dir.write("hanging-tool", "#!/bin/sh\nsleep 300 &\necho $! > " +
                                                           dir.file("child") + "\nsleep 300\n");
    ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
    sim.setTool(tool);
    const qxtest::RunResult r = script(R"sh(
start=$(date +%s)
$HOST set /dev/ttyQX561xPort1 rx=10; echo "exit $? after $(( $(date +%s) - start )) s"
)sh" "child=$(cat " + dir.file("child") + ")\n" R"sh(
for i in $(seq 100); do  # until the signal has reached it
    state=$(cut -d' ' -f3 /proc/$child/stat 2>/dev/null)
    [ -z "$state" ] || [ "$state" = Z ] && break
    sleep 0.1
done
[ -z "$state" ] || [ "$state" = Z ] || echo "its child left running"
)sh");
    const auto after = r.out.find(" after ");
    ASSERT_NE(after, std::string::npos) << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, after), "exit 1");
    const int seconds = std::stoi(r.out.substr(after + 7));
    EXPECT_GE(seconds, 29);
    EXPECT_LE(seconds, 35);
    EXPECT_EQ(r.out.find("left running"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "qxhost: SetItemProperties2 failed: 0x80004005 E_FAIL\n");
    EXPECT_NE(configuration().find("FifoRxDepth=10\n"), std::string::npos);
}

// A hand edit that saves by renaming a new file over the configuration file, again and
// again, while 200 sets run eight at a time: every set succeeds. (A saver used to take
// another's replacement file for a dead saver's and remove it: "item does not exist".)
// Many processes, no threads to race: not one for the thread sanitizer.
TEST_F(HostTest, SetsRacingHandEditsThatSaveByRename) {
    const qxtest::RunResult r = script(R"sh(
touch editing
while [ -e editing ]; do
    printf '[qx561x:7001:4:2]\nFifoTxDepth=9\n' > /etc/qxserial/edit.tmp
    mv /etc/qxserial/edit.tmp /etc/qxserial/configuration.ini
    sleep 0.01
done &
for round in $(seq 25); do
    sets=
    for port in 0 1 8 9 0 1 8 9; do
        { $HOST set /dev/ttyQX561xPort$port rx=$round > /dev/null 2>> set.err || echo >> failures; } &
        sets="$sets $!"
    done
    wait $sets
done
rm editing; wait
echo "failed: $(cat failures 2>/dev/null | wc -l)"; cat set.err
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "failed: 0\n");
}

// A watch sees another host's change; it ends on its count, on a signal in the middle of
// deliveries, and when nobody reads its output any more.
TEST_F(HostTest, WatchReportsChangesAndEndsCleanlyEveryWay) {
    const qxtest::RunResult r = script(R"sh(
ready() {  # the watcher's plug-in runs its monitor and both workers
    while [ "$(ls /proc/$1/task 2>/dev/null | wc -l)" -lt 4 ]; do sleep 0.02; done; sleep 0.1
}
$HOST watch --count 3 --json > watch.out & w=$!; ready $w
start=$(date +%s%N)
$HOST set /dev/ttyQX561xPort1 rx=10 > /dev/null
while [ ! -s watch.out ]; do sleep 0.01; done
echo "first line after $(( ($(date +%s%N) - start) / 1000000 )) ms"
$HOST set /dev/ttyQX561xPort0 tx=20 > /dev/null
$HOST set /dev/ttyQX561xPort9 rx=30 > /dev/null
wait $w; echo "count: exit $?"; cat watch.out

$HOST watch > /dev/null & w=$!; ready $w
for i in 1 2 3 4 5; do $HOST set /dev/ttyQX561xPort0 rx=$i > /dev/null & done
sleep 0.05; kill -INT $w; wait $w; echo "SIGINT: exit $?"
wait

mkfifo gone.fifo; : < gone.fifo &  # a reader that goes away at once
$HOST watch --timeout 30 > gone.fifo 2> gone.err & w=$!; ready $w
$HOST set /dev/ttyQX561xPort0 rx=50 > /dev/null
wait $w; echo "closed output: exit $?"; cat gone.err

$HOST watch & w=$!; ready $w; kill -TERM $w; wait $w; echo "SIGTERM: exit $?"
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string portsOf = "port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.";
    EXPECT_NE(r.out.find("count: exit 0\n"
                         "{\"change\":\"changed\",\"item\":\"" + kPortItem + "\"}\n"
                         "{\"change\":\"changed\",\"item\":\"" + portsOf + "0/0000|3A03|3A00.0/tty/ttyQX561xPort0\"}\n"
                         "{\"change\":\"changed\",\"item\":\"" + portsOf + "1/0000|3A04|3A00.0/tty/ttyQX561xPort9\"}\n"),
              std::string::npos) << r.out;
    const auto at = r.out.find("first line after ");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_LT(std::stoi(r.out.substr(at + 17)), 1000);
    EXPECT_NE(r.out.find("SIGINT: exit 0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("closed output: exit 1\nqxhost: watch: standard output is gone\n"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SIGTERM: exit 0\n"), std::string::npos) << r.out;
}

}  // namespace
