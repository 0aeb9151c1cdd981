// SPDX-License-Identifier: MIT
#pragma once
// Runs a helper program to its end and no further: no shell, a process group of its own,
// none of the caller's descriptors beyond the standard three, a time limit, and nothing
// it started left running once the run is over.

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace qxafa {

class ToolRunner {
public:
    enum class Output {
        Inherited,  // the caller's standard streams
        Captured,   // standard output and error into Result::output; standard input /dev/null
    };
    enum class Ending {
        NotStarted,  // value: the errno of the failed start
        Exited,      // value: the exit status
        Signalled,   // value: the signal that ended it
        TimedOut,    // killed at the time limit, with its group
        Lost,        // reaped by someone else (a caller that ignores SIGCHLD): no status
        GivenUp,     // the caller stopped waiting; the tool finishes on its own
    };
    struct Result {
        Ending ending = Ending::NotStarted;
        int value = 0;
        std::string output;  // what it wrote, when captured
    };

    ToolRunner(std::chrono::milliseconds timeLimit, Output output);

    // Captured output beyond this is read and dropped, so the tool never blocks on it.
    ToolRunner& captureAtMost(std::size_t bytes);
    // Asked about ten times a second while the tool runs; true gives the run up.
    ToolRunner& giveUpWhen(std::function<bool()> asked);

    // arguments[0] is the program's path (not looked up on PATH). The tool starts with the
    // caller's environment, every signal at its default and none blocked. Once it has
    // ended, or at the time limit, its process group is killed: a child it left running
    // neither outlives the run nor holds the run open through the output pipe.
    Result run(const std::vector<std::string>& arguments) const;

private:
    std::chrono::milliseconds timeLimit_;
    Output output_;
    std::size_t captureLimit_ = 64 * 1024;
    std::function<bool()> giveUp_;
};

}  // namespace qxafa
