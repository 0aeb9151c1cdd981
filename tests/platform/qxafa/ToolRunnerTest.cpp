// SPDX-License-Identifier: MIT
// A helper program run to its end: how it ended, what it wrote, and nothing it started
// left running.

#include "platform/qxafa/ToolRunner.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <fstream>
#include <optional>
#include <string>

#include "tests/support/ProcessGone.h"
#include "tests/support/TempDir.h"

namespace {

using qxafa::ToolRunner;
using Ending = ToolRunner::Ending;
using namespace std::chrono_literals;

class ToolRunnerTest : public testing::Test {
protected:
    std::string tool(const std::string& name, const std::string& body) const {
        const std::string path = dir.write(name, "#!/bin/sh\n" + body);
        ::chmod(path.c_str(), 0755);
        return path;
    }
    std::string read(const std::string& name) const {
        std::ifstream in(dir.file(name));
        std::string line;
        std::getline(in, line);
        return line;
    }
    // A child that sleeps, with its pid in the file "child".
    std::string leaveChild() const { return "sleep 300 & echo $! > " + dir.file("child") + "\n"; }

    qxtest::TempDir dir;
};

TEST_F(ToolRunnerTest, ReportsHowTheToolEndedAndWhatItWrote) {
    const struct {
        const char* name;
        std::string body;
        std::chrono::milliseconds limit;
        Ending ending;
        int value;
        std::optional<std::string> output;  // none: how far it got by the time limit
    } cases[] = {
        {"fails", "echo out; echo err >&2; exit 3\n", 60s, Ending::Exited, 3, "out\nerr\n"},
        {"killed", "echo dying; kill -TERM $$\n", 60s, Ending::Signalled, SIGTERM, "dying\n"},
        {"missing", "", 60s, Ending::NotStarted, ENOENT, ""},
        // Returns at once: its child still holds the output pipe, and is ended with it.
        {"leaves-child", leaveChild() + "echo done\n", 60s, Ending::Exited, 0, "done\n"},
        {"hangs", leaveChild() + "sleep 300\n", 1s, Ending::TimedOut, 0, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(dir.file("child").c_str());
        const std::string path = c.body.empty() ? dir.file(c.name) : tool(c.name, c.body);
        const ToolRunner::Result run = ToolRunner(c.limit, ToolRunner::Output::Captured).run({path});
        EXPECT_EQ(run.ending, c.ending);
        EXPECT_EQ(run.value, c.value);
        if (c.output) {
            EXPECT_EQ(run.output, *c.output);
        }
        const std::string child = read("child");
        if (!child.empty()) {
            EXPECT_TRUE(qxtest::processEnds(child)) << "left running: " << child;
        }
    }
}

// Output past the limit is read and dropped: the tool is never blocked on a full pipe.
TEST_F(ToolRunnerTest, OutputPastTheLimitIsDropped) {
    const std::string path = tool("chatty", "head -c 1000000 /dev/zero | tr '\\0' x\nexit 4\n");
    ToolRunner runner(60s, ToolRunner::Output::Captured);
    const ToolRunner::Result run = runner.captureAtMost(1000).run({path});
    EXPECT_EQ(run.ending, Ending::Exited);
    EXPECT_EQ(run.value, 4);
    EXPECT_GE(run.output.size(), 1000u);
    EXPECT_LT(run.output.size(), 10000u);
    EXPECT_EQ(run.output.find_first_not_of('x'), std::string::npos);
}

// A caller that stops waiting leaves the tool to finish on its own.
TEST_F(ToolRunnerTest, AGivenUpRunLeavesTheToolRunning) {
    const std::string path = tool("slow", "echo $$ > " + dir.file("pid") + "\nexec sleep 300\n");
    ToolRunner runner(60s, ToolRunner::Output::Captured);
    runner.giveUpWhen([&] { return !read("pid").empty(); });
    EXPECT_EQ(runner.run({path}).ending, Ending::GivenUp);
    const pid_t pid = std::stoi(read("pid"));
    EXPECT_EQ(::waitpid(pid, nullptr, WNOHANG), 0) << "it did not run on";
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace
