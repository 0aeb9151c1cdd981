// SPDX-License-Identifier: MIT
// The tool run under qxsim: what a user sees (standard error, exit status, nothing on
// standard output) and what reached the driver (the journal).

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Sim.h"
#include "tests/support/TempDir.h"

namespace {

const std::string kUsage =
    "Usage: qxserialconfig --port port-name --config-file config-file-path\n";
const std::string kIncorrect = "Incorrect argument.\n" + kUsage;
const std::string kInsufficient = "Insufficient arguments.\n" + kUsage;

const std::string kRs485Board = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0";
const std::string kRs232Board = "/sys/devices/pci0000:00/0000:00:1c.1/0000:04:00.0";
const std::string kUnknownBoard = "/sys/devices/pci0000:00/0000:00:1c.2/0000:05:00.0";
const std::string kRefusingBoard = "/sys/devices/pci0000:00/0000:00:1c.3/0000:06:00.0";

std::string portName(const std::string& board, int index) {
    return board + "/tty/ttyQX561xPort" + std::to_string(index);
}

// The second port of the RS-485 board, so that its number (2) differs from its index (1).
const std::string kRs485Port = portName(kRs485Board, 1);
const std::string kRs485Section = "[qx561x:7009:3:2]\n";
const std::string kRs232Port = portName(kRs232Board, 9);
const std::string kRs232Section = "[qx561x:7002:4:2]\n";

std::vector<std::string> appliedJournal(const char* node, unsigned rx, unsigned tx,
                                        const char* flags = nullptr) {
    std::vector<std::string> lines = {
        std::string(node) + " rx " + std::to_string(rx) + " ok",
        std::string(node) + " tx " + std::to_string(tx) + " ok",
    };
    if (flags) {
        lines.push_back(std::string(node) + " rs485 " + flags + ",0,0,0,0,0,0,0 ok");
    }
    return lines;
}

std::string report(const char* errorConstant, const char* file, int line) {
    return "{\"error_constant\":\"" + std::string(errorConstant) + "\",\"file\":\"" + file +
           "\",\"line\":" + std::to_string(line) + ",\"component\":\"qxserialconfig\"}\n";
}

}  // namespace

namespace {

using qxtest::RunResult;
using qxtest::Sim;

const std::string kTool = "/usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig";

// A directory for configuration files; reachable at the same path under the simulator.
class ConfigDir {
public:
    std::string main() const { return dir_.file("configuration.ini"); }
    std::string file(const std::string& name) const { return dir_.file(name); }

    // Writes the main file and its defaults file; an empty text leaves the file out.
    void write(const std::string& configuration, const std::string& defaults = {}) const {
        put(main(), configuration);
        put(file("configuration_defaults.ini"), defaults);
    }
    static void put(const std::string& path, const std::string& text) {
        std::filesystem::remove(path);
        if (!text.empty()) {
            std::ofstream(path) << text;
        }
    }

private:
    qxtest::TempDir dir_;
};

class ToolTest : public ::testing::Test {
protected:
    ToolTest() : sim(Sim::withFile(QX_TEST_DATA_DIR "/tool_boards.ini")) {}

    RunResult tool(const std::vector<std::string>& args) {
        std::vector<std::string> command{kTool};
        command.insert(command.end(), args.begin(), args.end());
        RunResult r = sim.run(command);
        EXPECT_EQ("", r.out) << "the tool never writes to standard output";
        return r;
    }
    RunResult apply(const std::string& port) {
        return tool({"--port", port, "--config-file", config.main()});
    }

    // The journal lines added since the previous call.
    std::vector<std::string> newRequests() {
        std::vector<std::string> lines;
        const std::vector<qxtest::JournalLine> journal = sim.journal();
        for (size_t i = seen_; i < journal.size(); ++i) {
            const qxtest::JournalLine& j = journal[i];
            lines.push_back(j.port + " " + j.request + " " + j.value + " " + j.result);
        }
        seen_ = journal.size();
        return lines;
    }

    Sim sim;
    ConfigDir config;

private:
    size_t seen_ = 0;
};

const std::vector<std::string> kNothing;

TEST_F(ToolTest, ArgumentErrorsPrintUsageAndSendNothing) {
    config.write(kRs485Section + "FifoRxDepth=100\n");
    const std::string& p = kRs485Port;
    const std::string c = config.main();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        const std::string& err;
    } cases[] = {
        {"no arguments", {}, kInsufficient},
        {"only the port", {"--port", p}, kInsufficient},
        {"only the file", {"--config-file", c}, kInsufficient},
        {"empty port name", {"--port", "", "--config-file", c}, kInsufficient},
        {"empty file path", {"--port", p, "--config-file", ""}, kInsufficient},
        {"trailing option without value", {"--config-file", c, "--port"}, kIncorrect},
        {"option taken as the port name", {"--port", "--config-file", c}, kIncorrect},
        {"joined with an equals sign", {"--port=" + p, "--config-file", c}, kIncorrect},
        {"other case", {"--Port", p, "--config-file", c}, kIncorrect},
        {"short form", {"-p", p, "--config-file", c}, kIncorrect},
        {"help", {"--help"}, kIncorrect},
        {"extra argument", {"--port", p, "--config-file", c, "x"}, kIncorrect},
        // Stops at the first bad argument, before it could notice the missing file path.
        {"bad argument first", {"--bogus", "--port", p}, kIncorrect},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        const RunResult r = tool(k.args);
        EXPECT_EQ(k.err, r.err);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ(kNothing, newRequests());
    }
}

TEST_F(ToolTest, LaterPortReplacesEarlierOne) {
    const RunResult r = tool({"--port", portName(kRs485Board, 0), "--port", kRs485Port,
                              "--config-file", config.main()});
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(appliedJournal("ttyQX561xPort1", 64, 128, "0x3"), newRequests());
}

TEST_F(ToolTest, WithoutConfigurationFilesTheBuiltInValuesApply) {
    const RunResult r = apply(kRs485Port);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(appliedJournal("ttyQX561xPort1", 64, 128, "0x3"), newRequests());
    const qxtest::PortState state = sim.ports().at("ttyQX561xPort1");
    EXPECT_EQ("64", state.rx);
    EXPECT_EQ("128", state.tx);
    EXPECT_EQ("0x3", state.rs485);
}

TEST_F(ToolTest, ValuesComeFromThePortSectionThenTheDefaultsFile) {
    struct Case {
        const char* name;
        std::string configuration;
        std::string defaults;
        unsigned rx, tx;
        const char* flags;
    } cases[] = {
        {"port section, blanks around values",
         kRs485Section + "FifoRxDepth = 100 \nFifoTxDepth=120\nRs485TransceiverMode=1\n", "",
         100, 120, "0x11"},
        {"defaults file only", "", "[defaults]\nFifoRxDepth=32\nRs485TransceiverMode=2\n", 32,
         128, "0x1"},
        {"port section over defaults",
         kRs485Section + "FifoTxDepth=100\nRs485TransceiverMode=0\n",
         "[defaults]\nFifoRxDepth=32\nFifoTxDepth=16\n", 32, 100, "0x0"},
        {"values that do not parse fall back",
         kRs485Section + "FifoRxDepth=0x40\nFifoTxDepth=abc\nRs485TransceiverMode=-1\n",
         "[defaults]\nFifoRxDepth=32\n", 32, 128, "0x3"},
        {"too large for 32 bits", kRs485Section + "FifoTxDepth=4294967296\n", "", 64, 128, "0x3"},
        {"other port's section and main-file defaults ignored",
         "[defaults]\nFifoRxDepth=10\n[qx561x:7009:3:1]\nFifoRxDepth=11\n",
         kRs485Section + "FifoRxDepth=12\n", 64, 128, "0x3"},
        // Levels are the driver's to judge; this one accepts up to 128.
        {"level outside the published bounds", kRs485Section + "FifoRxDepth=128\n", "", 128,
         128, "0x3"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        config.write(k.configuration, k.defaults);
        const RunResult r = apply(kRs485Port);
        EXPECT_EQ("", r.err);
        EXPECT_EQ(0, r.status);
        EXPECT_EQ(appliedJournal("ttyQX561xPort1", k.rx, k.tx, k.flags), newRequests());
    }
}

TEST_F(ToolTest, SlotPathWithADotNamesOneSection) {
    config.write("[qx561x:7012:4.15:1]\nFifoRxDepth=20\nFifoTxDepth=30\nRs485TransceiverMode=2\n");
    const RunResult r = apply(portName("/sys/devices/pci0000:00/0000:00:1c.4/0000:07:00.0", 30));
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(appliedJournal("ttyQX561xPort30", 20, 30, "0x1"), newRequests());
}

TEST_F(ToolTest, Rs232PortIgnoresTheTransceiverMode) {
    config.write(kRs232Section + "FifoRxDepth=16\nRs485TransceiverMode=7\n");
    const RunResult r = apply(kRs232Port);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(appliedJournal("ttyQX561xPort9", 16, 128), newRequests());
    EXPECT_EQ("-", sim.ports().at("ttyQX561xPort9").rs485);
}

TEST_F(ToolTest, Rs485ModeAboveThreeIsRefusedAfterTheFifoLevels) {
    config.write(kRs485Section + "Rs485TransceiverMode=7\n");
    const RunResult r = apply(kRs485Port);
    EXPECT_EQ(report("qxapalerr_invalidParameter", "qxserialconfig/Port", 65), r.err);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(appliedJournal("ttyQX561xPort1", 64, 128), newRequests());
}

// A port that cannot be resolved is reported as such, also when the file path is wrong
// too: the port is resolved before the files are read.
TEST_F(ToolTest, UnresolvablePortsAreReportedAndNothingIsSent) {
    struct Case {
        const char* name;
        std::string port;
        std::string err;
    } cases[] = {
        {"board not published by the driver",
         "/sys/devices/pci0000:00/0000:00:1c.0/0000:09:00.0/tty/ttyQX561xPort0",
         report("status.getCode()", "shared/qx561x/cDevicePropertyAccessor", 189)},
        {"board model not in the product table", portName(kUnknownBoard, 16),
         report("qxapalerr_invalidParameter", "shared/qx561x/cDevicePropertyAccessor", 21)},
    };
    for (const Case& k : cases) {
        for (const std::string& path : {config.main(), config.file("configuration.txt")}) {
            SCOPED_TRACE(std::string(k.name) + " with " + path);
            const RunResult r = tool({"--port", k.port, "--config-file", path});
            EXPECT_EQ(k.err, r.err);
            EXPECT_EQ(1, r.status);
            EXPECT_EQ(kNothing, newRequests());
        }
    }
}

TEST_F(ToolTest, PortNotAmongItsBoardsPortsIsReportedAndNothingIsSent) {
    // ttyQX561xPort8 exists, but on the RS-232 board.
    const RunResult r = apply(portName(kRs485Board, 8));
    EXPECT_EQ(report("qxapalerr_softwareFaultAPALInternalUseOnly",
                     "shared/qx561x/cPortPropertyAccessor", 67),
              r.err);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(kNothing, newRequests());
}

TEST_F(ToolTest, FilePathNotEndingInIniIsRefusedAfterTheFileWasRead) {
    const std::string path = config.file("configuration.txt");
    struct Case {
        const char* name;
        std::string text;
        std::string err;
    } cases[] = {
        {"missing file", "", "Invalid file path\n"},
        {"well-formed file", kRs485Section + "FifoRxDepth=100\n", "Invalid file path\n"},
        {"malformed file", "FifoRxDepth\n",
         "<unspecified file>(1): '=' character not found in line\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        ConfigDir::put(path, k.text);
        const RunResult r = tool({"--port", kRs485Port, "--config-file", path});
        EXPECT_EQ(k.err, r.err);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ(kNothing, newRequests());
    }
}

TEST_F(ToolTest, MalformedConfigurationFilesAreReportedAndNothingIsSent) {
    struct Case {
        const char* name;
        std::string configuration;
        std::string defaults;
        std::string err;
    } cases[] = {
        {"key without value", kRs485Section + "FifoRxDepth=100\nFifoTxDepth\n", "",
         "<unspecified file>(3): '=' character not found in line\n"},
        {"duplicate key", kRs485Section + "FifoRxDepth=1\nFifoRxDepth=2\n", "",
         "<unspecified file>(3): duplicate key name\n"},
        {"defaults file", "", "[defaults\n", "<unspecified file>(1): unmatched '['\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        config.write(k.configuration, k.defaults);
        const RunResult r = apply(kRs485Port);
        EXPECT_EQ(k.err, r.err);
        EXPECT_EQ(1, r.status);
        EXPECT_EQ(kNothing, newRequests());
    }
}

// A configuration path that is no plain file ends the run at once with a report naming
// it, nothing sent. A pipe is read, up to the size any configuration file has; the
// defaults file is never one.
TEST_F(ToolTest, ConfigurationPathsThatAreNoPlainFileAndPipes) {
    const std::string main = config.main();
    const std::string defaults = config.file("configuration_defaults.ini");
    auto refusal = [](const std::string& path, int line, const char* constant, const char* text) {
        return "{\"error_constant\":\"" + std::string(constant) +
               "\",\"file\":\"shared/qx561x/cIniDataStore\",\"line\":" + std::to_string(line) +
               ",\"component\":\"qxserialconfig\",\"path\":\"" + path +
               "\",\"qxserialconfig\":\"" + text + "\"}\n";
    };
    const std::string notRegular = "qxapalerr_invalidParameter";
    struct Case {
        const char* name;
        std::string prepare;     // shell commands run first
        std::string configFile;  // as the shell reads it
        std::string err;         // "" for a run that applies; a prefix when it ends with "..."
        std::vector<std::string> requests;
    } cases[] = {
        {"link to /dev/zero", "ln -s /dev/zero " + main, main,
         refusal(main, 91, notRegular.c_str(), "not a regular file"), kNothing},
        {"defaults file a FIFO", "mkfifo " + defaults + "; echo '[x]' > " + main, main,
         refusal(defaults, 91, notRegular.c_str(), "not a regular file"), kNothing},
        // Its writer comes a second late, mostly after the tool opened it (a FIFO without a
        // writer reads as empty at once); in either order the tool reads what it writes.
        {"named pipe", "mkfifo " + main + "; (sleep 1; printf '" +
                           kRs485Section.substr(0, kRs485Section.size() - 1) +
                           "\\nFifoRxDepth=32\\n' > " + main + ") &", main,
         "", appliedJournal("ttyQX561xPort1", 32, 128, "0x3")},
        {"pipe", "", "<(printf '\\357\\273\\277" + kRs485Section.substr(0, kRs485Section.size() - 1) +
                         "\\nFifoRxDepth=33\\n')",
         "", appliedJournal("ttyQX561xPort1", 33, 128, "0x3")},
        {"pipe without end", "", "<(yes FifoRxDepth=1)",
         "{\"error_constant\":\"qxapalerr_fileReadFailed\",\"file\":\"shared/qx561x/"
         "cIniDataStore\",\"line\":96,\"component\":\"qxserialconfig\",\"path\":\"/dev/fd/...",
         kNothing},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        config.write("");
        const RunResult r = sim.run({"timeout", "-s", "KILL", "20", "/bin/bash", "-c",
                                     k.prepare + "\n" + kTool + " --port " + kRs485Port +
                                         " --config-file " + k.configFile});
        const auto dots = k.err.find("...");
        if (dots == std::string::npos) {
            EXPECT_EQ(k.err, r.err);
        } else {
            EXPECT_EQ(k.err.substr(0, dots), r.err.substr(0, dots));
            EXPECT_NE(r.err.find("\"qxserialconfig\":\"larger than 16 MiB\"}"), std::string::npos)
                << r.err;
        }
        EXPECT_EQ(k.err.empty() ? 0 : 1, r.status);
        EXPECT_EQ(k.requests, newRequests());
    }
    // A byte-order mark, as editors on other systems write one, is no part of the first line.
    config.write("\xEF\xBB\xBF" + kRs485Section + "FifoRxDepth=34\n",
                 "\xEF\xBB\xBF[defaults]\nFifoTxDepth=35\n");
    const RunResult r = apply(kRs485Port);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(appliedJournal("ttyQX561xPort1", 34, 35, "0x3"), newRequests());
}

TEST_F(ToolTest, RefusedTransmitLevelLeavesTheReceiveLevelApplied) {
    const RunResult r = apply(portName(kRefusingBoard, 20));
    EXPECT_EQ("{\"error_constant\":\"qxapalerr_osFault\",\"file\":\"qxserialconfig/Port\","
              "\"line\":43,\"component\":\"qxserialconfig\",\"internal_error\":{\"api\":"
              "\"errno\",\"code\":5,\"string\":\"" +
                  std::string(std::strerror(EIO)) +
                  "\"},\"qxserialconfig\":\"failed to set TX FIFO fill level\"}\n",
              r.err);
    EXPECT_EQ(1, r.status);
    const std::vector<std::string> expected = {"ttyQX561xPort20 rx 64 ok",
                                               "ttyQX561xPort20 tx 128 EIO"};
    EXPECT_EQ(expected, newRequests());
    EXPECT_EQ("64", sim.ports().at("ttyQX561xPort20").rx);
}

}  // namespace
