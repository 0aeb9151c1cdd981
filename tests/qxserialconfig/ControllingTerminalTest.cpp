// SPDX-License-Identifier: MIT
// Run from udev or a service, the tool can be a session leader without a terminal; opening a
// port that is a real terminal must not make it the tool's controlling terminal. The port
// node is replaced by a pseudo-terminal inside the simulation (the simulated nodes are plain
// files), so the driver's requests then fail, after the open that matters here.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/Sim.h"

namespace {

const std::string kNode = "/dev/ttyQX561xPort1";
const std::string kPort = "/sys/devices/pci0000:00/0000:00:1c.0/0000:03:00.0/tty/ttyQX561xPort1";

TEST(ControllingTerminal, OpeningThePortDoesNotTakeItAsControllingTerminal) {
    struct Case {
        const char* name;
        std::vector<std::string> command;
        const char* expected;
        const char* error;  // part of standard error
    } cases[] = {
        // Shows that the probe sees a terminal being taken at all.
        {"a shell opening the node plainly", {"/bin/sh", "-c", "exec 3<>" + kNode},
         "exit 0\ncontrolling terminal: yes\n", ""},
        // A terminal does not know the FIFO request, so the tool stops at the first one.
        {"the tool",
         {"/usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig", "--port", kPort, "--config-file",
          "/etc/qxserial/configuration.ini"},
         "exit 1\ncontrolling terminal: no\n",
         R"("code":25,"string":"Inappropriate ioctl for device"},"qxserialconfig":"failed to set RX FIFO trigger level")"},
    };
    qxtest::Sim sim;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> command{QX_CTTY_PROBE, kNode};
        command.insert(command.end(), c.command.begin(), c.command.end());
        const qxtest::RunResult r = sim.run(command);
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_EQ(c.expected, r.out) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(c.error)) << r.err;
    }
    EXPECT_TRUE(sim.journal().empty()) << "no request reached a simulated port";
}

}  // namespace
