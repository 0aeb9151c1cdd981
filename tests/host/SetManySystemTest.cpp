// SPDX-License-Identifier: MIT
// qxhost set --from under the simulated driver: a whole machine's ports in one call, and
// every refusal before anything is stored.

#include <map>
#include <string>
#include <vector>

#include "tests/host/HostTest.h"

namespace {

using namespace qxhosttest;

constexpr int kRackPorts = 64;
const std::string kRackBoards = QX_TEST_DATA_DIR "/rack64_boards.ini";

bool isRs485(int port) { return port < 32 || port >= 48; }
std::string node(int port) { return "/dev/ttyQX561xPort" + std::to_string(port); }
// Each board of the rack sits at its own bridge function; port N's board is N / 16.
std::string treePath(int port) {
    const int board = port / 16;
    return "/sys/devices/pci0000:00/0000:00:1c." + std::to_string(board) + "/0000:1" + std::to_string(board) +
           ":00.0/tty/ttyQX561xPort" + std::to_string(port);
}

qxtest::RunResult setFrom(const qxtest::Sim& sim, const std::string& file, std::vector<std::string> options = {}) {
    std::vector<std::string> command{kHost, "set", "--from", file};
    command.insert(command.end(), options.begin(), options.end());
    return sim.run(command);
}

// Every port of the rack: a quarter already as wanted, the others new levels, and modes by
// name and by number. One port is named by its device-tree path.
TEST(HostSetMany, OneCallSetsEveryPortThatDiffersOnceAndARerunRunsNoTool) {
    const qxtest::Sim sim = qxtest::Sim::withFile(kRackBoards);
    const qxtest::TempDir dir;
    const std::pair<Json, std::string> modes[] = {{"off", "0x0"}, {"enabled", "0x1"}, {1, "0x11"}};
    Json ports = Json::object();
    std::map<std::string, qxtest::PortState> expected;  // the driver's ports afterwards, those set
    for (int n = 0; n < kRackPorts; ++n) {
        const std::string name = n == 5 ? treePath(n) : node(n);
        if (n % 4 == 0) {
            ports[name] = isRs485(n) ? Json{{"rx", 64}, {"tx", 128}, {"mode", "rts-on-send"}}
                                     : Json{{"rx", 64}, {"tx", 128}, {"mode", nullptr}};
            continue;
        }
        ports[name] = Json{{"rx", n}, {"tx", 100}};
        qxtest::PortState state{"", std::to_string(n), "100", "-", 0};
        if (isRs485(n)) {
            ports[name]["mode"] = modes[n % 4 - 1].first;
            state.rs485 = modes[n % 4 - 1].second;
        }
        expected["ttyQX561xPort" + std::to_string(n)] = state;
    }
    const std::string file = dir.write("rack.json", Json{{"ports", ports}}.dump());

    for (const bool rerun : {false, true}) {
        const qxtest::RunResult r = setFrom(sim, file, {"--json"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const Json answer = parse(r.out);
        EXPECT_EQ(answer["operation"], "set");
        EXPECT_EQ(answer["dryRun"], false);
        ASSERT_EQ(answer["ports"].size(), static_cast<std::size_t>(kRackPorts)) << r.out;
        for (int n = 0; n < kRackPorts; ++n) {
            const Json& port = answer["ports"][n];
            EXPECT_EQ(port["node"], node(n));
            const bool changes = n % 4 != 0 && !rerun;
            EXPECT_EQ(port["applied"], changes) << n;
            if (!changes) {
                EXPECT_EQ(port["changes"], Json::array()) << n;
                continue;
            }
            Json wanted = Json::array({Json{{"key", "rx"}, {"name", "RxFifoDepth"}, {"before", 64}, {"after", n}},
                                       Json{{"key", "tx"}, {"name", "TxFifoDepth"}, {"before", 128}, {"after", 100}}});
            if (isRs485(n) && n % 4 != 3)
                wanted.push_back(Json{{"key", "mode"}, {"name", "Rs485TransceiverMode"}, {"before", 3},
                                      {"after", n % 4 == 1 ? 0 : 2}});
            if (isRs485(n) && n % 4 == 3)
                wanted.push_back(Json{{"key", "mode"}, {"name", "Rs485TransceiverMode"}, {"before", 3}, {"after", 1}});
            EXPECT_EQ(port["changes"], wanted) << n;
        }
        // Each port that differed went to the driver once, with its whole settings; the
        // rerun found nothing to do and ran no tool.
        std::map<std::string, qxtest::PortState> driver;
        for (auto [name, state] : sim.ports()) {
            if (state.requests == 0) continue;
            EXPECT_EQ(state.requests, isRs485(std::stoi(name.substr(13))) ? 3u : 2u) << name;
            driver[name] = qxtest::PortState{"", state.rx, state.tx, state.rs485, 0};
        }
        ASSERT_EQ(driver.size(), expected.size());
        for (const auto& [name, state] : expected) {
            EXPECT_EQ(driver[name].rx, state.rx) << name;
            EXPECT_EQ(driver[name].tx, state.tx) << name;
            EXPECT_EQ(driver[name].rs485, isRs485(std::stoi(name.substr(13))) ? state.rs485 : "-") << name;
        }
        EXPECT_EQ(sim.journal().size(), 48u * 3 - 12);  // 36 RS-485 ports of three requests, 12 RS-232 of two
    }
}

// Nothing of a document is stored unless all of it can be: a refused value among 64 ports,
// a port named twice (or by two names), an unknown port or key, a value of the wrong kind, a
// document that is not one, and a dry run.
TEST(HostSetMany, ARefusedDocumentOrADryRunStoresNothing) {
    const qxtest::Sim sim = qxtest::Sim::withFile(kRackBoards);
    const qxtest::TempDir dir;
    Json rack = Json::object();
    for (int n = 0; n < kRackPorts; ++n) rack[node(n)] = Json{{"rx", 16}};
    const auto withPort = [&](const std::string& name, Json settings) {
        Json ports = rack;
        ports[name] = std::move(settings);
        return Json{{"ports", ports}}.dump();
    };
    const std::string port9 = R"("/dev/ttyQX561xPort9":{"rx":8})";
    const struct {
        std::string document;
        std::vector<std::string> errors;  // standard error, line by line
    } cases[] = {
        {withPort(node(37), {{"rx", 16}, {"tx", 300}}),
         {"qxhost: /dev/ttyQX561xPort37: ValidateItemProperties failed: 0x8004037F E_SYSAPI_VALIDATION_VALUE: "
          "TxFifoDepth 300 is outside 1..128"}},
        {R"({"ports":{)" + port9 + "," + port9 + "}}", {"qxhost: /dev/ttyQX561xPort9: the port is named twice"}},
        {R"({"ports":{)" + port9 + R"(,")" + treePath(9) + R"(":{"tx":8}}})",
         {"qxhost: " + treePath(9) + ": names the same port as /dev/ttyQX561xPort9"}},
        {withPort("/dev/ttyQX561xPort64", {{"rx", 16}}),
         {"qxhost: /dev/ttyQX561xPort64: GetItemProperties failed: 0x80040375 E_SYSAPI_ITEM_NOT_EXIST: no such item, "
          "or a file the plug-in needs is missing"}},
        {withPort(node(3), {{"rx", 16}, {"speed", 9600}}), {"qxhost: /dev/ttyQX561xPort3: unknown key speed (rx, tx, mode)"}},
        {R"({"ports":{"/dev/ttyQX561xPort1":{"rx":8,"rx":9}}})", {"qxhost: /dev/ttyQX561xPort1: rx is given twice"}},
        // Every port's problems at once, in the document's order.
        {R"({"ports":{"/dev/ttyQX561xPort1":{"rx":true},"/dev/ttyQX561xPort2":{"mode":"rts"},)"
         R"("/dev/ttyQX561xPort33":{"mode":1},"0000:10:00.0":{"rx":8},"/dev/ttyQX561xPort4":[8]}})",
         {"qxhost: /dev/ttyQX561xPort1: value of rx must be a number from 0 to 4294967295, got true",
          "qxhost: /dev/ttyQX561xPort2: unknown mode \"rts\" (off, rx-during-tx, enabled, rts-on-send)",
          "qxhost: /dev/ttyQX561xPort33: an RS-232 port has no RS-485 transceiver mode; mode is for RS-485 ports",
          "qxhost: 0000:10:00.0: a board has no settings; name one of its ports",
          "qxhost: /dev/ttyQX561xPort4: the port's settings must be an object such as {\"rx\": 32}, not [8]"}},
        {R"({"ports":{"/dev/ttyQX561xPort1":{"rx":-1,"tx":1.5}}})",
         {"qxhost: /dev/ttyQX561xPort1: value of rx must be a number from 0 to 4294967295, got -1",
          "qxhost: /dev/ttyQX561xPort1: value of tx must be a number from 0 to 4294967295, got 1.5"}},
        {R"({"ports":{"/dev/ttyQX561xPort1":{"rx":8}})", {"qxhost: doc.json: is not JSON: parse error at line 1, "
                                                          "column 42: syntax error while parsing object - unexpected "
                                                          "end of input; expected '}'"}},
        {R"({"ports":{},"port":{}})", {"qxhost: doc.json: unknown key port (ports)"}},
        {R"([{"/dev/ttyQX561xPort1":{"rx":8}}])",
         {"qxhost: doc.json: must be a JSON object {\"ports\": {NAME: {\"rx\": N, \"tx\": N, \"mode\": N}, ...}}"}},
        // A listing's keys only: the long names set takes on its command line are not a document's.
        {withPort(node(3), {{"RxFifoDepth", 16}}), {"qxhost: /dev/ttyQX561xPort3: unknown key RxFifoDepth (rx, tx, mode)"}},
    };
    const std::string file = dir.file("doc.json");
    for (const auto& c : cases) {
        dir.write("doc.json", c.document);
        const qxtest::RunResult r = sim.run({"sh", "-c", "cd " + dir.path() + " && " + kHost + " set --from doc.json"});
        EXPECT_EQ(r.status, 1) << c.document;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(lines(r.err), c.errors) << c.document;
    }
    // With --json, one error object holds each port's refusal; the document comes in on
    // standard input.
    dir.write("doc.json", cases[6].document);
    qxtest::RunResult r = sim.run({"sh", "-c", kHost + " set --from - --json < " + file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    const Json error = parse(r.err);
    EXPECT_EQ(error["error"]["call"], "refused");
    EXPECT_EQ(error["error"]["name"], nullptr);
    EXPECT_EQ(error["error"]["message"].get<std::string>().rfind("/dev/ttyQX561xPort1: value of rx must be", 0), 0u)
        << r.err;

    // A dry run validates every port and says what would change.
    dir.write("doc.json", withPort(node(40), {{"rx", 16}, {"tx", 64}}));
    r = setFrom(sim, file, {"--dry-run", "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    const Json answer = parse(r.out);
    EXPECT_EQ(answer["dryRun"], true);
    ASSERT_EQ(answer["ports"].size(), static_cast<std::size_t>(kRackPorts));
    EXPECT_EQ(answer["ports"][40], Json::parse(R"({"item":"port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.2/)"
                                               R"(0000|3A12|3A00.0/tty/ttyQX561xPort40","node":"/dev/ttyQX561xPort40",)"
                                               R"("changes":[{"key":"rx","name":"RxFifoDepth","before":64,"after":16},)"
                                               R"({"key":"tx","name":"TxFifoDepth","before":128,"after":64}],)"
                                               R"("applied":false})"));

    EXPECT_EQ(sim.shell("cat /etc/qxserial/configuration.ini 2>/dev/null").out, "");
    EXPECT_TRUE(sim.journal().empty());
}

// Every port was validated before the first was stored: a port whose driver then refuses
// is reported, and the others are stored and applied all the same.
TEST_F(HostTest, SetFromGoesOnPastAPortWhoseDriverRefuses) {
    const qxtest::TempDir dir;
    const std::string file = dir.write(
        "doc.json", R"({"ports":{"/dev/ttyQX561xPort20":{"rx":16},"/dev/ttyQX561xPort1":{"rx":8},)"
                    R"("/dev/ttyQX561xPort8":{"tx":9}}})");
    const qxtest::RunResult r = host({"set", "--from", file});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "/dev/ttyQX561xPort20 RxFifoDepth 64 -> -\n"
                     "/dev/ttyQX561xPort1 RxFifoDepth 64 -> 8\n"
                     "/dev/ttyQX561xPort8 TxFifoDepth 128 -> 9\n");
    EXPECT_EQ(r.err.substr(r.err.rfind("qxhost: ")),
              "qxhost: /dev/ttyQX561xPort20: SetItemProperties2 failed: 0x80004005 E_FAIL: the settings were stored, "
              "but qxserialconfig could not apply them to the port; 'qxhost apply /dev/ttyQX561xPort20' tries again\n");
    EXPECT_EQ(sim.ports().at("ttyQX561xPort1").rx, "8");
    EXPECT_EQ(sim.ports().at("ttyQX561xPort8").tx, "9");
}

}  // namespace
