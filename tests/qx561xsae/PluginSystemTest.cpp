// The plug-in loaded by a host under the simulated driver: what a host framework relies on
// that qxhost's own tests do not show.

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "tests/support/Sim.h"

namespace {

const std::string kPlugin = QX_BUILD_DIR "/qx561xsae/libqx561xsae.so";
const std::string kProbe = QX_BUILD_DIR "/tests/qx561xsae/qx561xsae_probe";
const std::string kHost = QX_BUILD_DIR "/host/qxhost";

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
    EXPECT_LT(std::stoi(r.out.substr(r.out.find("in ") + 3)), 100) << r.out;
    r = sim.run({kProbe, kPlugin, "pending"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("uninitialized after ", 0), 0u) << r.out;
}

// An outside edit of a port's section is a change of that port, an unrelated file is none.
TEST(Plugin, OutsideEditsOfTheFileAreNotifiedAndOtherFilesAreNot) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const qxtest::RunResult r = sim.shell(
        "HOST='" + kHost + " --plugin " + kPlugin + "'\n" R"sh(
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
$HOST watch --timeout 3 > "$work/out" & w=$!
while [ "$(ls /proc/$w/task 2>/dev/null | wc -l)" -lt 4 ]; do sleep 0.02; done; sleep 0.1
echo unrelated > /etc/qxserial/notes.txt; sleep 0.3
printf '[qx561x:7001:4:2]\nFifoTxDepth=9\n' > /etc/qxserial/configuration.ini
wait $w; cat "$work/out"
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "changed port:/sys/devices/pci0000|3A00/0000|3A00|3A1c.1/0000|3A04|3A00.0"
                     "/tty/ttyQX561xPort9\n");
}

}  // namespace

namespace {

// Eight host threads list, read and set while the file is edited from outside: every call
// answers a code a host expects, and nothing races (this runs under ThreadSanitizer too).
TEST(PluginConcurrency, EightHostThreadsWhileTheFileIsEdited) {
    const qxtest::Sim sim = qxtest::Sim::withFile(QX_TEST_DATA_DIR "/host_boards.ini");
    const qxtest::RunResult r = sim.run({kProbe, kPlugin, "stress", "30"});
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
