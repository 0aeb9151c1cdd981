// SPDX-License-Identifier: MIT
// qxhost's two threads, the command's and the one that takes signals, under the simulated
// driver: a watch told of changes from another process, and signals that end a command
// within a second, also in the middle of a plug-in call.

#include <string>
#include <utility>
#include <vector>

#include "tests/host/HostTest.h"

namespace {

using namespace qxhosttest;

// A watch sees another host's changes, promptly and in order; it ends on its count, on a
// signal in the middle of deliveries, and when nobody reads its output any more.
TEST_F(HostTest, WatchReportsChangesAndEndsCleanlyEveryWay) {
    const qxtest::RunResult r = script(R"sh(
$HOST watch --json > watch.out & w=$!; awake watch.out /dev/ttyQX561xPort1
start=$(date +%s%N)
$HOST set /dev/ttyQX561xPort0 tx=20 > /dev/null
until grep -q Port0 watch.out; do sleep 0.01; done
echo "a line after $(ms $start) ms"
$HOST set /dev/ttyQX561xPort9 rx=30 > /dev/null
until grep -q Port9 watch.out; do sleep 0.01; done
kill $w; wait $w; grep -v Port1 watch.out; sort -u watch.out | grep Port1; echo "port 1 lines: $(grep -c Port1 watch.out)"

( $HOST watch --count 1 > count.out; echo "count: exit $?" > count.status ) &
awake count.status /dev/ttyQX561xPort0; cat count.status count.out

$HOST watch > text.out & w=$!; awake text.out /dev/ttyQX561xPort8
for i in 1 2 3 4 5; do $HOST set /dev/ttyQX561xPort0 rx=$i > /dev/null & done
kill -INT $w; wait $w; echo "SIGINT: exit $?"
wait; head -1 text.out

mkfifo gone.fifo; : < gone.fifo &  # a reader that goes away at once
( $HOST watch > gone.fifo 2> gone.err; echo "closed output: exit $?" > gone.status ) &
awake gone.status /dev/ttyQX561xPort0; cat gone.status gone.err

$HOST watch > term.out & w=$!; awake term.out /dev/ttyQX561xPort9; kill -TERM $w; wait $w; echo "SIGTERM: exit $?"
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string port1 = R"({"change":"changed","item":")" + kPortItem + R"(","kind":"port","node":"/dev/ttyQX561xPort1"})";
    // Of port 1, the lines of its changes alone; the others' changes in the order made.
    const std::string changes =
        R"({"change":"changed","item":")" + kPortsItem + R"(0","kind":"port","node":"/dev/ttyQX561xPort0"})" "\n"
        R"({"change":"changed","item":")" + k232Item + R"(9","kind":"port","node":"/dev/ttyQX561xPort9"})" "\n" +
        port1 + "\nport 1 lines: ";
    EXPECT_EQ(r.out.find(changes), r.out.find('\n') + 1) << r.out;
    EXPECT_EQ(r.out.rfind("a line after ", 0), 0u) << r.out;
    // Told at once, not at a later look: well within the monitor's longest pause between tries (5 s).
    EXPECT_LT(std::stoi(r.out.substr(13)), 3000 * kSlowdown);
    EXPECT_NE(r.out.find("count: exit 0\nchanged port /dev/ttyQX561xPort0\nSIGINT: exit 130\n"
                         "changed port /dev/ttyQX561xPort8\n"),
              std::string::npos) << r.out;
    EXPECT_NE(r.out.find("closed output: exit 1\nqxhost: standard output: Broken pipe\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SIGTERM: exit 143\n"), std::string::npos) << r.out;
}

// SIGINT or SIGTERM ends a command within a second, also while a plug-in call runs: here a
// listing held inside the plug-in's read of a board's serial number, which waits until
// released. Nothing is printed after; released, the listing goes on to its end.
TEST(HostSignals, EndACommandWithinASecondEvenInsideAPluginCall) {
    qxtest::BoardFile boards;
    boards.board("held").set("model", "PCIe-5611/2 (RS-485) Interface").set("address", "0000:03:00.0")
        .set("serial", "1A2B3C4D").set("hold", "deviceProperties/serialNumber");
    const qxtest::Sim sim(boards);
    const std::string serial = "/proc/driver/qx/pci:0000:03:00.0/deviceProperties/serialNumber";
    const qxtest::RunResult r = sim.shell("HOST=" + kHost + "\nSERIAL=" + serial + "\nRELEASE='" +
                                          qxtest::Sim::qxsimPath() + " release held --state " + sim.stateDir() +
                                          "'\n" + R"sh(
# ThreadSanitizer's runtime sleeps a second before a process with threads ends.
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}atexit_sleep_ms=0"
cd "$(mktemp -d)"
for signal in TERM INT; do
    $HOST list > out 2> err & h=$!
    exec 3> $SERIAL  # returns once the listing waits in the read
    start=$(date +%s%N); kill -$signal $h; wait $h
    echo "$signal: exit $? after $(( ($(date +%s%N) - start) / 1000000 )) ms, $(cat out err | wc -c) bytes printed"
    exec 3>&-
done
$HOST list > out & h=$!
exec 3> $SERIAL; $RELEASE; exec 3>&-
wait $h; echo "released: exit $?"; head -1 out
)sh");
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 4u) << r.out << r.err;
    for (const auto& [line, status] : {std::pair{out[0], std::string("TERM: exit 143")}, {out[1], "INT: exit 130"}}) {
        EXPECT_EQ(line.rfind(status + " after ", 0), 0u) << line;
        EXPECT_LT(std::stoi(line.substr(status.size() + 7)), 1000) << line;
        EXPECT_EQ(line.substr(line.find(", ")), ", 0 bytes printed") << line;
    }
    EXPECT_EQ(out[2], "released: exit 0");
    EXPECT_EQ(out[3], "0000:03:00.0  model=PCIe-5611/2 slot=3 serial=1A2B3C4D ports=2");
}

}  // namespace
