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

// A watch sees another host's change; it ends on its count, on a signal in the middle of
// deliveries, and when nobody reads its output any more.
TEST_F(HostTest, WatchReportsChangesAndEndsCleanlyEveryWay) {
    const qxtest::RunResult r = script(R"sh(
$HOST watch --count 3 --json > watch.out & w=$!; ready $w
start=$(date +%s%N)
$HOST set /dev/ttyQX561xPort1 rx=10 > /dev/null
while [ ! -s watch.out ]; do sleep 0.01; done
echo "first line after $(ms $start) ms"
$HOST set /dev/ttyQX561xPort0 tx=20 > /dev/null
$HOST set /dev/ttyQX561xPort9 rx=30 > /dev/null
wait $w; echo "count: exit $?"; cat watch.out

$HOST watch > text.out & w=$!; ready $w
$HOST set /dev/ttyQX561xPort8 rx=11 > /dev/null
while [ ! -s text.out ]; do sleep 0.01; done
for i in 1 2 3 4 5; do $HOST set /dev/ttyQX561xPort0 rx=$i > /dev/null & done
sleep 0.05; kill -INT $w; wait $w; echo "SIGINT: exit $?"
wait; head -1 text.out

mkfifo gone.fifo; : < gone.fifo &  # a reader that goes away at once
$HOST watch --timeout 30 > gone.fifo 2> gone.err & w=$!; ready $w
$HOST set /dev/ttyQX561xPort0 rx=50 > /dev/null
wait $w; echo "closed output: exit $?"; cat gone.err

$HOST watch & w=$!; ready $w; kill -TERM $w; wait $w; echo "SIGTERM: exit $?"
)sh");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("count: exit 0\n"
                         R"({"change":"changed","item":")" + kPortItem + R"(","kind":"port","node":"/dev/ttyQX561xPort1"})" "\n"
                         R"({"change":"changed","item":")" + kPortsItem + R"(0",)"
                         R"("kind":"port","node":"/dev/ttyQX561xPort0"})" "\n"
                         R"({"change":"changed","item":")" + k232Item + R"(9","kind":"port","node":"/dev/ttyQX561xPort9"})" "\n"),
              std::string::npos) << r.out;
    const auto at = r.out.find("first line after ");
    ASSERT_NE(at, std::string::npos) << r.out;
    EXPECT_LT(std::stoi(r.out.substr(at + 17)), 1000 * kSlowdown);
    EXPECT_NE(r.out.find("SIGINT: exit 130\nchanged port /dev/ttyQX561xPort8\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("closed output: exit 1\nqxhost: standard output: Broken pipe\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("SIGTERM: exit 143\n"), std::string::npos) << r.out;
}

// SIGINT or SIGTERM ends a command within a second, also while a plug-in call runs: here a
// listing that a very large configuration file makes slow, interrupted a third of the way
// through its quicker of two undisturbed runs. Nothing is printed after.
TEST_F(HostTest, SignalsEndACommandWithinASecondEvenInsideAPluginCall) {
    const qxtest::RunResult r = script("sections=" + std::to_string(300000 / kSlowdown) + R"sh(
# ThreadSanitizer's runtime sleeps a second before a process with threads ends.
export TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}atexit_sleep_ms=0"
seq 1 $sections | awk '{ printf "[qx561x:9999:%d:1]\nFifoRxDepth=1\n", $1 }' > /etc/qxserial/configuration.ini
whole=
for run in 1 2; do
    start=$(date +%s%N); $HOST list > /dev/null; took=$(ms $start)
    if [ -z "$whole" ] || [ "$took" -lt "$whole" ]; then whole=$took; fi
done
echo "whole listing $whole ms"
pause=$(awk -v whole="$whole" 'BEGIN { printf "%.3f", whole / 3000 }')
for signal in TERM INT; do
    $HOST list > out 2> err & h=$!
    sleep "$pause"; start=$(date +%s%N); kill -$signal $h; wait $h
    echo "$signal: exit $? after $(ms $start) ms, $(cat out err | wc -c) bytes printed"
done
)sh");
    const std::vector<std::string> out = lines(r.out);
    ASSERT_EQ(out.size(), 3u) << r.out << r.err;
    // A third of it leaves the host well inside the plug-in's call, past loading it.
    EXPECT_GT(std::stoi(out[0].substr(14)), 600) << "the listing is too quick to be interrupted";
    for (const auto& [line, status] : {std::pair{out[1], std::string("TERM: exit 143")}, {out[2], "INT: exit 130"}}) {
        EXPECT_EQ(line.rfind(status + " after ", 0), 0u) << line;
        EXPECT_LT(std::stoi(line.substr(status.size() + 7)), 1000) << line;
        EXPECT_EQ(line.substr(line.find(", ")), ", 0 bytes printed") << line;
    }
}

}  // namespace
