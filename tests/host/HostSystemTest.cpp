// SPDX-License-Identifier: MIT
// qxhost under the simulated driver, with the real plug-in and the real tool: what a person
// or a program sees of every command.

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "tests/host/HostTest.h"

namespace {

using namespace qxhosttest;

TEST_F(HostTest, ListAndShowPrintEveryBoardPortAndProperty) {
    writeConfiguration("[qx561x:703b:3:2]\nFifoRxDepth=32\nRs485TransceiverMode=1\n");
    qxtest::RunResult r = host({"list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "0000:03:00.0  model=PCIe-5611/2 slot=3 serial=1A2B3C4D ports=2\n"
              "  /dev/ttyQX561xPort0  RS-485 rx=64 tx=128 mode=3 (rts-on-send)\n"
              "  /dev/ttyQX561xPort1  RS-485 rx=32 tx=128 mode=1 (rx-during-tx)\n"
              "0000:04:00.0  model=PCI-5610/2 slot=4 serial=01C0FFEE ports=2\n"
              "  /dev/ttyQX561xPort8  RS-232 rx=64 tx=128\n"
              "  /dev/ttyQX561xPort9  RS-232 rx=64 tx=128\n"
              "0000:06:00.0  model=PCI-5611/2 slot=6 serial=0000BAD0 ports=2\n"
              "  /dev/ttyQX561xPort20  RS-485 rx=64 tx=128 mode=3 (rts-on-send)\n"
              "  /dev/ttyQX561xPort21  RS-485 rx=64 tx=128 mode=3 (rts-on-send)\n");

    r = host({"list", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    const Json list = parse(r.out);
    const std::string limits485 = R"("limits":{"rx":{"min":1,"max":127,"default":64},)"
                                  R"("tx":{"min":1,"max":128,"default":128},"mode":{"min":0,"max":3,"default":3,"choices":[)"
                                  R"({"value":0,"name":"off","meaning":"RS-485 off"},)"
                                  R"({"value":1,"name":"rx-during-tx","meaning":"enabled, receiver on while sending"},)"
                                  R"({"value":2,"name":"enabled","meaning":"enabled"},)"
                                  R"({"value":3,"name":"rts-on-send","meaning":"enabled, RTS on send"}]}})";
    EXPECT_EQ(list["boards"][0].dump(),
              R"({"item":")" + kBoardItem + R"(","address":"0000:03:00.0","path":")" + kBoardPath +
                  R"(","model":"PCIe-5611/2","slot":"3","serial":"1A2B3C4D","portCount":2,"ports":[)"
                  R"({"item":")" + kPortsItem + R"(0","node":"/dev/ttyQX561xPort0","path":")" + kBoardPath +
                  R"(/tty/ttyQX561xPort0","number":1,"kind":"RS-485","rx":64,"tx":128,"mode":3,"modeName":"rts-on-send",)" + limits485 +
                  R"(},{"item":")" + kPortItem + R"(","node":"/dev/ttyQX561xPort1","path":")" + kPortPath +
                  R"(","number":2,"kind":"RS-485","rx":32,"tx":128,"mode":1,"modeName":"rx-during-tx",)" + limits485 + "}]}");
    EXPECT_EQ(list["boards"][1]["ports"][1].dump(),
              R"({"item":")" + k232Item + R"(9","node":"/dev/ttyQX561xPort9","path":"/sys/devices/pci0000:00/)"
              R"(0000:00:1c.1/0000:04:00.0/tty/ttyQX561xPort9","number":2,"kind":"RS-232","rx":64,"tx":128,)"
              R"("mode":null,"modeName":null,"limits":{"rx":{"min":1,"max":127,"default":64},"tx":{"min":1,"max":128,)"
              R"("default":128},"mode":null}})");
    EXPECT_EQ(list["boards"].size(), 3u);
    EXPECT_EQ(list["unlistedBoardPorts"], Json::array());

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
              "  0x0C00B000  Rs485TransceiverMode   uint32    1 (rx-during-tx)\n" +
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
    const Json shown = parse(r.out);
    EXPECT_EQ(shown["items"].size(), 1u);
    EXPECT_EQ(shown["items"][0]["item"], k232Item + "8");
    const Json& properties = shown["items"][0]["properties"];
    EXPECT_NE(std::find(properties.begin(), properties.end(),
                        Json::parse(R"({"tag":"0x0C00A000","name":"IsRs232","type":"bool","value":true})")),
              properties.end());
    EXPECT_NE(std::find(properties.begin(), properties.end(),
                        Json::parse(R"({"tag":"0x01022000","name":"ItemGuid","type":"guid",)"
                                    R"("value":"{00000000-0000-0000-0000-000000000000}"})")),
              properties.end());
    EXPECT_EQ(r.out.find("Rs485TransceiverMode"), std::string::npos);
}

TEST_F(HostTest, SetValidatesStoresAndAppliesOrOnlyValidatesInTextAndJson) {
    qxtest::RunResult r = host({"set", "/dev/ttyQX561xPort1", "tx=100", "--dry-run"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "/dev/ttyQX561xPort1 TxFifoDepth 128 -> 100 (valid, not applied)\n");
    r = host({"set", "--json", "--dry-run", kPortPath, "TxFifoDepth=100", "rx=64"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(parse(r.out), Json::parse(R"({"operation":"set","dryRun":true,"ports":[{"item":")" + kPortItem +
                                        R"(","node":"/dev/ttyQX561xPort1","changes":[)"
                                        R"({"key":"tx","name":"TxFifoDepth","before":128,"after":100},)"
                                        R"({"key":"rx","name":"RxFifoDepth","before":64,"after":64}],)"
                                        R"("applied":false}]})"));
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

    // after is read back from the plug-in: a key given with the value it has is listed too.
    r = host({"set", "/dev/ttyQX561xPort1", "--json", "mode=2", "rx=32"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(parse(r.out), Json::parse(R"({"operation":"set","dryRun":false,"ports":[{"item":")" + kPortItem +
                                        R"(","node":"/dev/ttyQX561xPort1","changes":[)"
                                        R"({"key":"mode","name":"Rs485TransceiverMode","before":1,"after":2},)"
                                        R"({"key":"rx","name":"RxFifoDepth","before":32,"after":32}],)"
                                        R"("applied":true}]})"));
}

// Each mode typed by its name reaches the driver as its flags word and is listed by it; a
// stored value that is no mode is listed without a name, and a name that is no mode's is
// a bad command line.
TEST_F(HostTest, ModesByNameReachTheDriverAsTheirFlagsAndAreListedByName) {
    const struct {
        std::string name;
        uint32_t value;
        std::string record;
    } modes[] = {
        {"off", 0, "0x0,0,0,0,0,0,0,0"},
        {"rx-during-tx", 1, "0x11,0,0,0,0,0,0,0"},
        {"enabled", 2, "0x1,0,0,0,0,0,0,0"},
        {"rts-on-send", 3, "0x3,0,0,0,0,0,0,0"},
    };
    for (const auto& mode : modes) {
        qxtest::RunResult r = host({"set", "/dev/ttyQX561xPort1", "mode=" + mode.name});
        EXPECT_EQ(r.status, 0) << mode.name << ": " << r.err;
        const std::vector<qxtest::JournalLine> journal = sim.journal();
        ASSERT_FALSE(journal.empty()) << mode.name;
        EXPECT_EQ(journal.back(), (qxtest::JournalLine{"ttyQX561xPort1", "rs485", mode.record, "ok"})) << mode.name;
        r = host({"list", "--json"});
        const Json port = parse(r.out)["boards"][0]["ports"][1];
        EXPECT_EQ(port["mode"], mode.value) << mode.name;
        EXPECT_EQ(port["modeName"], mode.name);
    }

    writeConfiguration("[qx561x:703b:3:2]\nRs485TransceiverMode=9\n");
    qxtest::RunResult r = host({"list", "--json"});
    const Json port = parse(r.out)["boards"][0]["ports"][1];
    EXPECT_EQ(port["mode"], 4);
    EXPECT_EQ(port["modeName"], nullptr);
    r = host({"list"});
    EXPECT_NE(r.out.find("  /dev/ttyQX561xPort1  RS-485 rx=64 tx=128 mode=4 (out of range)\n"), std::string::npos)
        << r.out;

    const std::size_t requests = sim.journal().size();
    r = host({"set", "/dev/ttyQX561xPort1", "mode=rts_on_send"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "qxhost: value of mode must be a mode (off, rx-during-tx, enabled, rts-on-send) or a number "
                     "from 0 to 4294967295, got rts_on_send\nRun 'qxhost --help' for usage.\n");
    EXPECT_EQ(sim.journal().size(), requests);
}

// Stored settings reach the driver again as at boot: every port, a hand edit included, and
// the file is left as it was. A port whose driver refuses is reported; the others go on.
TEST_F(HostTest, ApplySendsStoredSettingsOfEveryPortAsAtBoot) {
    const std::string edited = "[qx561x:703b:3:2]\nFifoRxDepth=17\n; by hand\n[qx561x:7001:4:1]\nFifoTxDepth=99\n";
    writeConfiguration(edited);
    qxtest::RunResult r = host({"apply", "--all"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "/dev/ttyQX561xPort0 applied\n/dev/ttyQX561xPort1 applied\n"
                     "/dev/ttyQX561xPort8 applied\n/dev/ttyQX561xPort9 applied\n"
                     "/dev/ttyQX561xPort20 not applied: qxserialconfig exit status 1\n"
                     "/dev/ttyQX561xPort21 not applied: qxserialconfig exit status 1\n");
    const std::vector<std::string> errors = lines(r.err);
    ASSERT_EQ(errors.size(), 2u) << r.err;
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(errors[i], "qxhost: /dev/ttyQX561xPort2" + std::to_string(i) +
                                 ": qxserialconfig failed: exit status 1: failed to set RX FIFO trigger level: "
                                 "Input/output error");
    EXPECT_EQ(configuration(), edited);
    EXPECT_EQ(sim.journal(), (std::vector<qxtest::JournalLine>{
                                 {"ttyQX561xPort0", "rx", "64", "ok"},
                                 {"ttyQX561xPort0", "tx", "128", "ok"},
                                 {"ttyQX561xPort0", "rs485", "0x3,0,0,0,0,0,0,0", "ok"},
                                 {"ttyQX561xPort1", "rx", "17", "ok"},
                                 {"ttyQX561xPort1", "tx", "128", "ok"},
                                 {"ttyQX561xPort1", "rs485", "0x3,0,0,0,0,0,0,0", "ok"},
                                 {"ttyQX561xPort8", "rx", "64", "ok"},
                                 {"ttyQX561xPort8", "tx", "99", "ok"},
                                 {"ttyQX561xPort9", "rx", "64", "ok"},
                                 {"ttyQX561xPort9", "tx", "128", "ok"},
                                 {"ttyQX561xPort20", "rx", "64", "EIO"},
                                 {"ttyQX561xPort21", "rx", "64", "EIO"}}));

    // A board means its ports; a port named twice is applied once.
    r = host({"apply", "--json", "/dev/ttyQX561xPort21", "0000:04:00.0", "/dev/ttyQX561xPort9"});
    EXPECT_EQ(r.status, 1);
    const Json applied = parse(r.out);
    ASSERT_EQ(applied["ports"].size(), 3u) << r.out;
    EXPECT_EQ(applied["operation"], "apply");
    const std::string report = applied["ports"][0]["report"];
    EXPECT_EQ(report.rfind("{\"error_constant\":", 0), 0u) << report;
    EXPECT_EQ(applied["ports"][0], Json::parse(R"({"item":")" + kRefusingItem + R"(21","node":"/dev/ttyQX561xPort21",)"
                                               R"("path":"/sys/devices/pci0000:00/0000:00:1c.3/0000:06:00.0/tty/)"
                                               R"(ttyQX561xPort21","applied":false,"status":1,"report":)" +
                                               Json(report).dump() + "}"));
    for (int i = 1; i < 3; ++i) {
        const std::string port = std::to_string(7 + i);
        EXPECT_EQ(applied["ports"][i], Json::parse(R"({"item":")" + k232Item + port + R"(","node":"/dev/ttyQX561xPort)" +
                                                   port + R"(","path":"/sys/devices/pci0000:00/0000:00:1c.1/)"
                                                   R"(0000:04:00.0/tty/ttyQX561xPort)" + port +
                                                   R"(","applied":true,"status":0,"report":""})"));
    }
    const Json error = parse(r.err);
    EXPECT_EQ(error, Json::parse(R"({"error":{"operation":"apply","call":"qxserialconfig","code":null,)"
                                 R"("symbol":null,"message":"exit status 1: failed to set RX FIFO trigger level: )"
                                 R"(Input/output error","name":"/dev/ttyQX561xPort21"}})"));
}

TEST_F(HostTest, FailuresSayWhatFailedAndWhichName) {
    const struct {
        std::vector<std::string> args;
        int status;
        std::string err;  // qxhost's own line of standard error (the tool's report may come first)
    } cases[] = {
        {{"show", "/dev/ttyQX561xPort0", "port:/nowhere", "0000:03:00.0"}, 1,
         "qxhost: port:/nowhere: GetItemProperties failed: 0x80040375 E_SYSAPI_ITEM_NOT_EXIST: no such item, or a file the plug-in needs is missing"},
        {{"set", "/dev/ttyQX561xPort1", "rx=128"}, 1,
         "qxhost: /dev/ttyQX561xPort1: ValidateItemProperties failed: 0x8004037F E_SYSAPI_VALIDATION_VALUE: "
         "RxFifoDepth 128 is outside 1..127"},
        {{"set", "/dev/ttyQX561xPort9", "tx=0"}, 1,
         "qxhost: /dev/ttyQX561xPort9: ValidateItemProperties failed: 0x8004037F E_SYSAPI_VALIDATION_VALUE: "
         "TxFifoDepth 0 is outside 1..128"},
        {{"set", "/dev/ttyQX561xPort8", "rx=5", "mode=1"}, 1,
         "qxhost: /dev/ttyQX561xPort8: an RS-232 port has no RS-485 transceiver mode; mode is for RS-485 ports"},
        {{"set", "0000:03:00.0", "rx=1"}, 1, "qxhost: 0000:03:00.0: a board has no settings; name one of its ports"},
        {{"set", "/dev/ttyQX561xPort20", "rx=16"}, 1,
         "qxhost: /dev/ttyQX561xPort20: SetItemProperties2 failed: 0x80004005 E_FAIL: the settings were stored, "
         "but qxserialconfig could not apply them to the port; 'qxhost apply /dev/ttyQX561xPort20' tries again"},
    };
    for (const auto& c : cases) {
        const qxtest::RunResult r = host(c.args);
        EXPECT_EQ(r.status, c.status) << c.args[0] << " " << c.args.back() << ": " << r.err;
        const auto own = r.err.rfind("qxhost: ");
        ASSERT_NE(own, std::string::npos) << r.err;
        EXPECT_EQ(r.err.substr(own), c.err + "\n");
    }
    // The refusing board's settings were stored before the driver refused them; the RS-232
    // port kept its rx: mode was refused before anything was stored.
    EXPECT_EQ(configuration(), "[qx561x:7007:6:1]\nFifoRxDepth=16\nFifoTxDepth=128\nRs485TransceiverMode=3\n");

    // With --json, standard error holds one object, and nothing else: not even the report of
    // the tool the plug-in ran.
    const struct {
        std::vector<std::string> args;
        std::string error;
    } jsonCases[] = {
        {{"set", "--json", "/dev/ttyQX561xPort1", "rx=128"},
         R"({"error":{"operation":"set","call":"ValidateItemProperties","code":"0x8004037F",)"
         R"("symbol":"E_SYSAPI_VALIDATION_VALUE","message":"RxFifoDepth 128 is outside 1..127",)"
         R"("name":"/dev/ttyQX561xPort1"}})"},
        {{"set", "/dev/ttyQX561xPort9", "mode=0", "--json"},
         R"({"error":{"operation":"set","call":"refused","code":null,"symbol":null,"message":)"
         R"("an RS-232 port has no RS-485 transceiver mode; mode is for RS-485 ports","name":"/dev/ttyQX561xPort9"}})"},
    };
    for (const auto& c : jsonCases) {
        const qxtest::RunResult r = host(c.args);
        EXPECT_EQ(r.status, 1) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, c.error + "\n");
    }
    const qxtest::RunResult failedTool = host({"set", "--json", "/dev/ttyQX561xPort21", "rx=16"});
    EXPECT_EQ(failedTool.status, 1);
    const Json error = parse(failedTool.err);
    EXPECT_EQ(error["error"]["code"], "0x80004005");
    EXPECT_NE(error["error"]["message"].get<std::string>().find("the plug-in's standard error: {\"error_constant\""),
              std::string::npos)
        << failedTool.err;
}

// A tool that never ends does not hold a set for ever: the plug-in kills it at its time
// limit, with what it started, and the set fails after the settings were stored.
TEST_F(HostTest, ASetWhoseToolHangsFailsAtTheTimeLimit) {
    const qxtest::TempDir dir;
    useTool(dir, "sleep 300 &\necho $! > " + dir.file("child") + "\nsleep 300\n");
    const qxtest::RunResult r = script(R"sh(
start=$(date +%s)
$HOST set /dev/ttyQX561xPort1 rx=10; echo "exit $? after $(( $(date +%s) - start )) s"
)sh" "child=$(cat " + dir.file("child") + ")\n" R"sh(
ended $child || echo "its child left running"
)sh");
    const auto after = r.out.find(" after ");
    ASSERT_NE(after, std::string::npos) << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, after), "exit 1");
    const int seconds = std::stoi(r.out.substr(after + 7));
    // Its time limit, not a second one after it (a loaded machine adds a little).
    EXPECT_GE(seconds, 29);
    EXPECT_LE(seconds, 45);
    EXPECT_EQ(r.out.find("left running"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "qxhost: /dev/ttyQX561xPort1: SetItemProperties2 failed: 0x80004005 E_FAIL: the settings "
                     "were stored, but qxserialconfig could not apply them to the port; 'qxhost apply "
                     "/dev/ttyQX561xPort1' tries again\n");
    EXPECT_NE(configuration().find("FifoRxDepth=10\n"), std::string::npos);
}

// A tool that succeeds but leaves a child running: set (through the plug-in) and apply
// each end the child with the tool's group, and apply does not wait for the child to
// let go of the tool's output.
TEST_F(HostTest, WhatAToolLeftRunningEndsWithItsRunThroughSetAndApply) {
    const qxtest::TempDir dir;
    useTool(dir, "sleep 300 &\necho $! >> " + dir.file("children") + "\necho applied\n");
    const qxtest::RunResult r = script(R"sh(
$HOST set /dev/ttyQX561xPort1 rx=10 > /dev/null; echo "set: exit $?"
$HOST apply /dev/ttyQX561xPort1; echo "apply: exit $?"
)sh" "children=$(cat " + dir.file("children") + ")\n" R"sh(
echo "$(echo $children | wc -w) children"
for child in $children; do ended $child || echo "$child left running"; done
)sh");
    EXPECT_EQ(r.out, "set: exit 0\n/dev/ttyQX561xPort1 applied\napply: exit 0\n2 children\n") << r.err;
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

// A plug-in that cannot be loaded is one line with the loader's text; one that is not a
// regular file is not even opened by the loader (a FIFO would block it).
TEST_F(HostTest, APluginThatCannotBeLoadedIsOneLine) {
    const qxtest::RunResult r = script(R"sh(
$HOST --plugin /nonexistent.so list; echo "exit $?"
mkfifo fifo.so
timeout -s KILL 120 $HOST --plugin fifo.so list --json; echo "exit $?"  # 137: it waited on the FIFO
)sh");
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 2u) << r.out << r.err;
    EXPECT_EQ(out[0], "exit 1");
    EXPECT_EQ(out[1], "exit 1");
    const std::vector<std::string> err = lines(r.err);
    ASSERT_EQ(err.size(), 2u) << r.err;
    EXPECT_EQ(err[0], "qxhost: cannot load plug-in /nonexistent.so: cannot open shared object file: "
                      "No such file or directory");
    EXPECT_EQ(parse(err[1]), Json::parse(R"({"error":{"operation":"list","call":"load","code":null,"symbol":null,)"
                                         R"("message":"fifo.so: not a regular file","name":"fifo.so"}})"));
}

// While a board is unplugged and plugged again and again, each listing shows every board
// with all its ports or not at all, and none fails. Listings go on until some saw the board
// and some did not, however the two loops share the machine.
TEST_F(HostTest, ListingsHoldWhileABoardComesAndGoes) {
    const int listings = 200 / kSlowdown;
    const qxtest::RunResult r = script("listings=" + std::to_string(listings) + R"sh(
( while :; do plug plug extra; plug unplug extra; done ) > /dev/null 2>&1 & loop=$!
i=0; with=0; without=0
while [ $i -lt $listings ] || [ $with = 0 ] || [ $without = 0 ]; do
    $HOST list --json > list.json; status=$?; cat list.json; echo "exit $status"; i=$((i + 1))
    if grep -q 0000:07:00.0 list.json; then with=1; else without=1; fi
done
kill $loop; wait $loop 2>/dev/null; true
)sh");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> out = lines(r.out);
    ASSERT_GE(out.size(), 2u * listings) << r.out.substr(0, 2000);
    ASSERT_EQ(out.size() % 2, 0u) << r.out.substr(0, 2000);
    int withExtra = 0;
    for (std::size_t i = 0; i < out.size(); i += 2) {
        EXPECT_EQ(out[i + 1], "exit 0");
        const Json list = parse(out[i]);
        for (const Json& board : list["boards"]) {
            EXPECT_EQ(board["ports"].size(), board["portCount"].get<std::size_t>()) << out[i];
            withExtra += board["address"] == "0000:07:00.0";
        }
        EXPECT_EQ(list["boards"].size(), 3u + (list.dump().find("0000:07:00.0") != std::string::npos));
        EXPECT_EQ(list["unlistedBoardPorts"], Json::array());
    }
    // The board did come and go while the listings were taken.
    EXPECT_GT(withExtra, 0);
    EXPECT_LT(withExtra, static_cast<int>(out.size() / 2));
}

// check and the plug-in read a value alike, for every spelling: a value check calls no
// number is one the plug-in ignores for the built-in value, and one it passes the plug-in
// reads as written.
TEST_F(HostTest, CheckAndThePluginReadEverySpellingOfAValueAlike) {
    constexpr uint32_t kBuiltIn = 64;
    const struct {
        std::string text;
        std::optional<uint32_t> value;  // nothing: not a number
    } spellings[] = {
        {"5", 5},         {" 5", 5},       {"+5", 5},       {"05", 5},
        {"-5", {}},       {"5x", {}},      {"0x5", {}},     {"5.0", {}},
        {"\xEF\xBC\x95", {}},  // a full-width 5
        {"4294967301", {}},     // 2^32 + 5
        {"", {}},
    };
    for (const auto& spelling : spellings) {
        writeConfiguration("[qx561x:703b:3:2]\nFifoRxDepth=" + spelling.text + "\n");
        const qxtest::RunResult r = script("$HOST check --json; $HOST list --json");
        const std::vector<std::string> out = lines(r.out);
        ASSERT_EQ(out.size(), 2u) << spelling.text << ": " << r.out << r.err;
        const Json problems = parse(out[0])["problems"];
        const Json port = parse(out[1])["boards"][0]["ports"][1];
        if (spelling.value) {
            EXPECT_EQ(problems, Json::array()) << spelling.text;
            EXPECT_EQ(port["rx"], *spelling.value) << spelling.text;
        } else {
            ASSERT_EQ(problems.size(), 1u) << spelling.text << ": " << out[0];
            EXPECT_EQ(problems[0]["kind"], "value") << spelling.text;
            EXPECT_EQ(problems[0]["line"], 2) << spelling.text;
            EXPECT_EQ(port["rx"], kBuiltIn) << spelling.text;
        }
    }
}

// check reads both files with the configuration store: each problem with its file and line.
TEST_F(HostTest, CheckReportsEachProblemWithFileAndLine) {
    const std::string main = "/etc/qxserial/configuration.ini";
    const std::string defaults = "/etc/qxserial/configuration_defaults.ini";
    const struct {
        std::string configuration;
        std::string defaults;
        int status;
        std::string out;
    } cases[] = {
        {"[qx561x:703b:3:1]\nFifoRxDepth=32\n", "[defaults]\nFifoTxDepth=100\n", 0, ""},
        {"[qx561x:703b:3:1]\nFifoRxDepth\n", "", 1, main + ":2: '=' character not found in line\n"},
        // The store reads a key by its exact name: any other setting would be ignored.
        {"[qx561x:703b:3:1]\nFifoRXDepth=5\nfiforxdepth=5\nFifoTxDepth=9\n", "[defaults]\nSpeed=9600\n", 1,
         main + ":2: unknown key FifoRXDepth is never read; the key is FifoRxDepth\n" +
         main + ":3: unknown key fiforxdepth is never read; the key is FifoRxDepth\n" +
         defaults + ":2: unknown key Speed is never read; the keys are FifoRxDepth, FifoTxDepth and "
         "Rs485TransceiverMode\n"},
        {"[qx561x:703b:3:1]\n  FifoRxDepth = 200 \nFifoTxDepth=abc\n[qx561x:7001:4:1]\nRs485TransceiverMode=1\n"
         "[qx561x:9999:1:1]\nFifoRxDepth=5\n[defaults]\nFifoTxDepth=0\n",
         "; shipped\n[defaults]\nFifoRxDepth=128\nRs485TransceiverMode=3\n[qx561x:703b:3:1]\nFifoRxDepth=1\n", 1,
         main + ":2: FifoRxDepth 200 is outside 1..127\n" +
         main + ":3: FifoTxDepth \"abc\" is not a number; it counts as absent\n" +
         main + ":6: section [qx561x:9999:1:1] names no port present\n" +
         main + ":8: section [defaults] is read only from " + defaults + "\n" +
         main + ":9: FifoTxDepth 0 is outside 1..128\n" +
         defaults + ":3: FifoRxDepth 128 is outside 1..127\n" +
         defaults + ":5: section [qx561x:703b:3:1] is never read here: only [defaults] is\n"},
    };
    for (const auto& c : cases) {
        writeConfiguration(c.configuration);
        writeConfiguration(c.defaults, "configuration_defaults.ini");
        const qxtest::RunResult r = host({"check"});
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
    }

    qxtest::RunResult r = host({"check", "--json"});
    EXPECT_EQ(r.status, 1);
    const Json checked = parse(r.out);
    EXPECT_EQ(checked["files"], Json::parse(R"([{"path":")" + main + R"(","exists":true},{"path":")" + defaults +
                                            R"(","exists":true}])"));
    EXPECT_EQ(checked["problems"].size(), 7u);
    EXPECT_EQ(checked["problems"][1], Json::parse(R"({"file":")" + main + R"(","line":3,"kind":"value",)"
                                                  R"("section":"qx561x:703b:3:1","key":"FifoTxDepth",)"
                                                  R"("message":"FifoTxDepth \"abc\" is not a number; it counts as absent"})"));
    EXPECT_EQ(checked["problems"][2]["kind"], "section");
    EXPECT_EQ(checked["problems"][4]["kind"], "range");

    // A FIFO in place of a file is reported at once, not read; a missing file is no problem.
    r = script("rm " + defaults + "; mkfifo " + defaults + "; rm " + main + "; $HOST check --json; echo \"exit $?\"");
    EXPECT_EQ(r.out, R"({"files":[{"path":")" + main + R"(","exists":false},{"path":")" + defaults +
                         R"(","exists":true}],"problems":[{"file":")" + defaults +
                         R"(","line":null,"kind":"file","section":null,"key":null,"message":"not a regular file"}]})"
                         "\nexit 1\n");

    // What the plug-in writes checks clean: all three keys in every port's section.
    r = script("rm " + defaults + "; $HOST set /dev/ttyQX561xPort1 rx=32 mode=1 && $HOST set /dev/ttyQX561xPort8 "
               "tx=100 && $HOST check; echo \"exit $?\"; grep -c Rs485TransceiverMode " + main);
    EXPECT_EQ(r.out, "/dev/ttyQX561xPort1 RxFifoDepth 64 -> 32\n/dev/ttyQX561xPort1 Rs485TransceiverMode 3 -> 1\n"
                     "/dev/ttyQX561xPort8 TxFifoDepth 128 -> 100\nexit 0\n2\n");
}

// A configuration file the store refuses leaves every port out of the plug-in's listing;
// qxhost says why, with the file and line, and the exit status stays what it was.
TEST_F(HostTest, AMalformedConfigurationFileIsNeverSilent) {
    writeConfiguration("[qx561x:703b:3:1]\nFifoRxDepth=32\nFifoTxDepth\n");
    const std::string warning = "/etc/qxserial/configuration.ini:3: '=' character not found in line; "
                                "ports are missing until the file can be read";
    qxtest::RunResult r = host({"list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "qxhost: warning: " + warning + "\n");
    EXPECT_EQ(r.out.find("/dev/ttyQX561xPort"), std::string::npos) << r.out;

    r = host({"list", "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(parse(r.err), Json::parse(R"({"warning":{"file":"/etc/qxserial/configuration.ini","line":3,)"
                                        R"("message":"'=' character not found in line; ports are missing until )"
                                        R"(the file can be read"}})"));

    r = host({"show", "/dev/ttyQX561xPort1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qxhost: warning: " + warning + "\nqxhost: /dev/ttyQX561xPort1: GetItemProperties failed: "
                     "0x80040375 E_SYSAPI_ITEM_NOT_EXIST: no such item, or a file the plug-in needs is missing\n");
    r = host({"set", "/dev/ttyQX561xPort1", "rx=2", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(parse(r.err)["error"]["message"], "no such item, or a file the plug-in needs is missing; " + warning);
    // Ports the listing lacks were not applied: no success.
    r = host({"apply", "0000:04:00.0"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "qxhost: warning: " + warning + "\nqxhost: 0000:04:00.0: the plug-in lists 0 of the board's 2 "
                     "ports; those not listed were not applied\n");
    EXPECT_TRUE(sim.journal().empty());
}

TEST(HostMachines, AnEmptyMachineSaysSoAndJsonIsValidUtf8ForAnyBytes) {
    qxtest::BoardFile boards;
    boards.board("later").set("model", "PCIe-5611/2 (RS-485) Interface").set("address", "0000:03:00.0")
        .set("present", "no");
    const qxtest::Sim empty(boards);
    qxtest::RunResult r = empty.run({kHost, "list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "qxhost: no board found; the driver's /proc/driver/qx exists but lists none\n");
    r = empty.run({kHost, "list", "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "{\"boards\":[],\"unlistedBoardPorts\":[]}\n");
    EXPECT_EQ(r.err, "");

    qxtest::BoardFile odd;
    odd.board("odd").set("model", "PCI-5610/2 (RS-232) Interface").set("address", "0000:04:00.0")
        .set("bytes.busProperties/pciSlotPath", "34 ff c3 28 00")  // "4", then bytes that are not UTF-8
        .set("bytes.deviceProperties/serialNumber", "41 e2 82 ac 00");  // "A€", padded: UTF-8 stays
    const qxtest::Sim sim(odd);
    r = sim.run({kHost, "list", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    const Json list = parse(r.out);
    EXPECT_EQ(list["boards"][0]["slot"], "4\xEF\xBF\xBD\xEF\xBF\xBD(");
    EXPECT_EQ(list["boards"][0]["serial"], "0000A\xE2\x82\xAC");
    EXPECT_EQ(list["boards"][0]["ports"].size(), 2u);

    // Standard output that cannot take the result is reported, not a silent exit 1; one that
    // is closed fails a command before it does anything.
    r = sim.run({"sh", "-c", kHost + " list > /dev/full"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qxhost: standard output: No space left on device\n");
    r = sim.run({"sh", "-c", kHost + " list --json >&-"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, R"({"error":{"operation":"list","call":"output","code":null,"symbol":null,)"
                     R"("message":"standard output is closed","name":null}})" "\n");
    r = sim.run({"sh", "-c", kHost + " set /dev/ttyQX561xPort0 rx=5 >&-"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "qxhost: standard output is closed\n");
    EXPECT_TRUE(sim.journal().empty());
}

// Every byte of text qxhost prints for a person is printable ASCII or a line break, whatever
// a configuration file, a board or a NAME holds: control characters, DEL, C1 controls and
// bytes that are not UTF-8 are shown as \xHH, so that no file can move the cursor, clear
// the screen, set a window title or write the clipboard (OSC 52).
TEST(HostMachines, TextFromFilesBoardsAndNamesIsShownVisibly) {
    qxtest::BoardFile boards;
    boards.board("odd").set("model", "PCI-5610/2 (RS-232) Interface").set("address", "0000:04:00.0")
        .set("bytes.busProperties/pciSlotPath", "34 9b 00")  // "4", a raw C1 byte
        .set("bytes.deviceProperties/serialNumber", "41 1b 5d 30 3b 74 07 7f c2 9b 42 00");  // an OSC, DEL, U+009B
    const qxtest::Sim sim(boards);
    const std::string main = "/etc/qxserial/configuration.ini";
    ASSERT_EQ(sim.run({"sh", "-c", "printf '[s\\033[2J\\007\\233]\\nFifoTxDepth=1\\n[qx561x:7001:4\\233:1]\\n"
                                   "FifoRxDepth=\\033]52;c;aGk=\\007\\302\\233\\177\\n\\033]0;t\\007K\\233=1\\n' > " + main})
                  .status, 0);
    const auto printable = [](const qxtest::RunResult& r) {
        for (const std::string* text : {&r.out, &r.err})
            for (unsigned char c : *text)
                if ((c < 0x20 && c != '\n') || c >= 0x7F) return false;
        return true;
    };
    const std::string escapedSerial = R"("A\x1b]0;t\x07\x7f\xc2\x9bB")";
    const struct {
        std::vector<std::string> args;
        std::string line;  // one line of the output, standard error after standard output
    } cases[] = {
        {{"list"}, "0000:04:00.0  model=PCI-5610/2 slot=\"4\\x9b\" serial=" + escapedSerial + " ports=2"},
        {{"show", "0000:04:00.0"}, "  0x01007000  SerialNumber           string    " + escapedSerial},
        {{"check"}, main + ":1: section [s\\x1b[2J\\x07\\x9b] names no port present"},
        {{"check"}, main + R"(:4: FifoRxDepth "\x1b]52;c;aGk=\x07\xc2\x9b\x7f" is not a number; it counts as absent)"},
        {{"check"}, main + R"(:5: unknown key \x1b]0;t\x07K\x9b is never read; the keys are FifoRxDepth, )"
                           "FifoTxDepth and Rs485TransceiverMode"},
        {{"show", "\x1b]0;t\x07"}, R"(qxhost: "\x1b]0;t\x07": GetItemProperties failed: 0x80040375 )"
                                          "E_SYSAPI_ITEM_NOT_EXIST: no such item, or a file the plug-in needs is missing"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{kHost};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const qxtest::RunResult r = sim.run(args);
        EXPECT_TRUE(printable(r)) << c.line << "\n" << r.out << r.err;
        const std::vector<std::string> out = lines(r.out + r.err);
        EXPECT_NE(std::find(out.begin(), out.end(), c.line), out.end()) << r.out << r.err;
    }
}

// A refusal says what happened and what to do, where the plug-in gave no message: a user who
// may not write the configuration file, a board whose slot path cannot name a section, and
// a board that went while its ports were applied.
TEST(HostMachines, RefusalsSayWhyInWords) {
    const qxtest::TempDir dir;
    qxtest::BoardFile boards;
    boards.board("ok").set("model", "PCIe-5611/2 (RS-485) Interface").set("address", "0000:03:00.0");
    boards.board("bracket").set("model", "PCI-5610/2 (RS-232) Interface").set("address", "0000:04:00.0")
        .set("slot-path", "4]x").set("first-port", "8");
    boards.board("extra").set("model", "PCIe-5611/2 (RS-485) Interface").set("address", "0000:07:00.0")
        .set("first-port", "30").set("present", "no");
    qxtest::Sim sim(boards);
    // The tool of the first port of extra unplugs the board before it reads it.
    const std::string tool = dir.write("unplugging-tool", "#!/bin/sh\ncase \"$2\" in *Port30) " +
                                                              qxtest::Sim::qxsimPath() + " unplug extra --state " +
                                                              sim.stateDir() + " ;; esac\nexec " +
                                                              qxtest::Sim::toolPath() + " \"$@\"\n");
    ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
    sim.setTool(tool);
    const std::string unprivileged = ::geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
    const qxtest::RunResult r = sim.shell(
        "H=" + kHost + "\n" + (unprivileged.empty() ? "" : unprivileged + "$H set /dev/ttyQX561xPort0 rx=5\n" +
                                                             unprivileged + "$H set --json /dev/ttyQX561xPort0 rx=5\n") +
        "$H set /dev/ttyQX561xPort8 rx=5\n$H set --json /dev/ttyQX561xPort8 rx=5\n" +
        qxtest::Sim::qxsimPath() + " plug extra --state " + sim.stateDir() + "\n$H apply 0000:07:00.0\n");
    const std::string cannotWrite = "cannot write /etc/qxserial/configuration.ini: permission denied; run as root";
    const std::string bracket = "board 0000:04:00.0: its slot path \"4]x\" cannot name a section in "
                                "/etc/qxserial/configuration.ini (a section name must not hold a line break or ']', "
                                "nor start or end with white space)";
    const auto jsonError = [](const std::string& node, const std::string& message) {
        return Json{{"error", {{"operation", "set"}, {"call", "SetItemProperties2"}, {"code", "0x80004005"},
                               {"symbol", "E_FAIL"}, {"message", message}, {"name", node}}}}.dump();
    };
    std::string expected;
    if (!unprivileged.empty())
        expected = "qxhost: /dev/ttyQX561xPort0: SetItemProperties2 failed: 0x80004005 E_FAIL: " + cannotWrite + "\n" +
                   jsonError("/dev/ttyQX561xPort0", cannotWrite) + "\n";
    expected += "qxhost: /dev/ttyQX561xPort8: SetItemProperties2 failed: 0x80004005 E_FAIL: " + bracket + "\n" +
                jsonError("/dev/ttyQX561xPort8", bracket) + "\n"
                "qxhost: /dev/ttyQX561xPort30: qxserialconfig failed: exit status 1: the board was removed while it "
                "was read\n"
                "qxhost: /dev/ttyQX561xPort31: qxserialconfig failed: exit status 1: the board was removed while it "
                "was read\n";
    EXPECT_EQ(r.err, expected);
    EXPECT_EQ(r.out, "/dev/ttyQX561xPort30 not applied: qxserialconfig exit status 1\n"
                     "/dev/ttyQX561xPort31 not applied: qxserialconfig exit status 1\n");
}

// The completion offers this machine's port nodes and addresses, and the keys of set.
TEST(HostCompletion, CompletesPortNodesAddressesAndKeys) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const qxtest::RunResult r = sim.run({"bash", "-c", R"sh(
source "$1"
complete -p qxhost
try() { COMP_LINE="$1"; COMP_POINT=${#1}; COMPREPLY=(); _qxhost; echo "$1|${COMPREPLY[*]}"; }
try "qxhost s"
try "qxhost show /dev/ttyQX561xPort2"
try "qxhost --json apply 0000:0"
try "qxhost set /dev/ttyQX561xPort0 r"
try "qxhost watch --count "
)sh", "bash", QX_SOURCE_DIR "/host/qxhost.bash-completion"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "complete -F _qxhost qxhost\n"
                     "qxhost s|show set\n"
                     "qxhost show /dev/ttyQX561xPort2|/dev/ttyQX561xPort20 /dev/ttyQX561xPort21\n"
                     "qxhost --json apply 0000:0|03:00.0 04:00.0 06:00.0\n"
                     "qxhost set /dev/ttyQX561xPort0 r|rx=\n"
                     "qxhost watch --count |\n");
}

}  // namespace
