// SPDX-License-Identifier: MIT
#pragma once
// What qxhost's system tests share: qxhost under the simulated driver with the host tests'
// boards, the real plug-in and the real tool. Inside the simulation the plug-in is at its
// installed path, so qxhost runs without --plugin.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/Sim.h"
#include "tests/support/TempDir.h"

namespace qxhosttest {

using Json = nlohmann::ordered_json;

// A sanitized qxhost and plug-in run several times slower: loops that need many runs take
// fewer, so that a test stays within its run time limit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr int kSlowdown = 5;
#else
inline constexpr int kSlowdown = 1;
#endif

inline const std::string kHost = QX_BUILD_DIR "/host/qxhost";
inline const std::string kBoardPath = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0";
inline const std::string kPortPath = kBoardPath + "/tty/ttyQX561xPort1";
inline const std::string kBoardItem = "device:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0";
inline const std::string kPortsItem = "port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.0/0000|3A03|3A00.0/tty/ttyQX561xPort";
inline const std::string kPortItem = kPortsItem + "1";
inline const std::string k232Item = "port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.1/0000|3A04|3A00.0/tty/ttyQX561xPort";
inline const std::string kRefusingItem = "port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.3/0000|3A06|3A00.0/tty/ttyQX561xPort";

inline std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

// Parsing refuses anything but valid UTF-8 JSON; a failure names the text.
inline Json parse(const std::string& text) {
    try {
        return Json::parse(text);
    } catch (const std::exception& error) {
        ADD_FAILURE() << error.what() << " in: " << text;
        return Json();
    }
}

class HostTest : public testing::Test {
protected:
    qxtest::RunResult host(const std::vector<std::string>& args) const {
        std::vector<std::string> command;
        command.reserve(args.size() + 1);
        command.push_back(kHost);
        for (const std::string& arg : args) command.push_back(arg);
        return sim.run(command);
    }
    // A script under the simulator in a scratch directory, with $HOST standing for qxhost,
    // plug plug|unplug BOARD for qxsim's command, awake FILE NODE (qxtest::kAwakeFunction), and
    // ended PID.
    qxtest::RunResult script(const std::string& text) const {
        return sim.shell("HOST='" + kHost + "'\n"
                         "plug() { " + qxtest::Sim::qxsimPath() + " \"$1\" \"$2\" --state " + sim.stateDir() + "; }\n" +
                         qxtest::kAwakeFunction +
                         "ms() { echo $(( ($(date +%s%N) - $1) / 1000000 )); }\n"
                         "ended() {  # gone, or a zombie, once a signal has reached it\n"
                         "    for i in $(seq 100); do\n"
                         "        state=$(cut -d' ' -f3 /proc/$1/stat 2>/dev/null)\n"
                         "        [ -z \"$state\" ] || [ \"$state\" = Z ] && return 0\n"
                         "        sleep 0.1\n"
                         "    done\n"
                         "    return 1\n"
                         "}\n"
                         "work=$(mktemp -d) && cd \"$work\" && trap 'rm -rf \"$work\"' EXIT\n" + text);
    }
    // A shell script in dir as the tool the plug-in and apply run.
    void useTool(const qxtest::TempDir& dir, const std::string& body) {
        const std::string tool = dir.write("tool", "#!/bin/sh\n" + body);
        ASSERT_EQ(::chmod(tool.c_str(), 0755), 0);
        sim.setTool(tool);
    }
    std::string configuration() const { return sim.shell("cat /etc/qxserial/configuration.ini 2>/dev/null").out; }
    void writeConfiguration(const std::string& text, const std::string& file = "configuration.ini") const {
        ASSERT_EQ(sim.run({"sh", "-c", "printf '%s' \"$1\" > /etc/qxserial/" + file, "sh", text}).status, 0);
    }

    qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
};

}  // namespace qxhosttest
