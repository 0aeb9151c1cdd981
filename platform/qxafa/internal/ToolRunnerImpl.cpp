// SPDX-License-Identifier: MIT
#include "platform/qxafa/ToolRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "platform/qxafa/UniqueFd.h"

extern char** environ;

namespace qxafa {
namespace {

using Clock = std::chrono::steady_clock;
using Ending = ToolRunner::Ending;
using Result = ToolRunner::Result;

constexpr int kFirstCallerDescriptor = 3;
constexpr std::chrono::milliseconds kGiveUpSlice{100};
// Where the kernel cannot hand out a descriptor that tells when the tool ends.
constexpr std::chrono::milliseconds kEndSlice{20};
constexpr std::size_t kReadChunk = 4096;

// The spawn objects of one start, destroyed on every way out.
class SpawnSetup {
public:
    SpawnSetup() {
        error_ = ::posix_spawn_file_actions_init(&actions_);
        if (error_ != 0) return;
        error_ = ::posix_spawnattr_init(&attributes_);
        if (error_ != 0) ::posix_spawn_file_actions_destroy(&actions_);
    }
    ~SpawnSetup() {
        if (error_ != 0) return;
        ::posix_spawnattr_destroy(&attributes_);
        ::posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Standard output and error into output when it is open, standard input then from
    // /dev/null. Whatever the caller blocked or ignored, the tool starts with a clean
    // signal state, in a process group of its own. 0, or the error number of the step
    // that failed.
    int prepare(int output) {
        if (error_ != 0) return error_;
        sigset_t none;
        sigset_t all;
        ::sigemptyset(&none);
        ::sigfillset(&all);
        int failed = 0;
        const auto step = [&failed](int result) {
            if (failed == 0) failed = result;
        };
        if (output >= 0) {
            step(::posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0));
            step(::posix_spawn_file_actions_adddup2(&actions_, output, 1));
            step(::posix_spawn_file_actions_adddup2(&actions_, output, 2));
        }
        step(::posix_spawn_file_actions_addclosefrom_np(&actions_, kFirstCallerDescriptor));
        step(::posix_spawnattr_setsigmask(&attributes_, &none));
        step(::posix_spawnattr_setsigdefault(&attributes_, &all));
        step(::posix_spawnattr_setpgroup(&attributes_, 0));
        step(::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                                          POSIX_SPAWN_SETPGROUP));
        return failed;
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
    int error_ = 0;
};

// The read end of the output pipe, and what came through it.
class Capture {
public:
    Capture(UniqueFd reader, std::size_t limit) : reader_(std::move(reader)), limit_(limit) {}

    int fd() const { return reader_.get(); }  // -1 once closed: poll passes over it
    // What is there now, without waiting; at end of file the pipe is closed.
    void readAvailable() {
        char buffer[kReadChunk];
        while (reader_) {
            const ssize_t got = ::read(reader_.get(), buffer, sizeof buffer);
            if (got > 0) {
                if (text_.size() < limit_) text_.append(buffer, static_cast<std::size_t>(got));
                continue;
            }
            if (got < 0 && errno == EINTR) continue;
            if (got < 0 && errno == EAGAIN) return;
            reader_.reset();
        }
    }
    std::string take() { return std::move(text_); }

private:
    UniqueFd reader_;
    std::size_t limit_;
    std::string text_;
};

enum class State { Running, Ended, Lost };

// Looks without reaping: until the tool is reaped its number, and so its process group,
// cannot pass to another process, and the group can be killed safely.
State stateOf(pid_t tool) {
    for (;;) {
        siginfo_t info{};
        if (::waitid(P_PID, tool, &info, WEXITED | WNOHANG | WNOWAIT) == 0)
            return info.si_pid == tool ? State::Ended : State::Running;
        if (errno != EINTR) return State::Lost;
    }
}

// Kills the group (the tool too, if it still runs), then reaps the tool.
Result endGroup(pid_t tool) {
    ::kill(-tool, SIGKILL);
    siginfo_t info{};
    while (::waitid(P_PID, tool, &info, WEXITED) != 0) {
        if (errno != EINTR) return {Ending::Lost, 0, {}};
    }
    if (info.si_code == CLD_EXITED) return {Ending::Exited, info.si_status, {}};
    return {Ending::Signalled, info.si_status, {}};
}

Result notStarted(int error) { return {Ending::NotStarted, error, {}}; }

int pollTime(std::chrono::nanoseconds wait) {
    return static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
}

}  // namespace

ToolRunner::ToolRunner(std::chrono::milliseconds timeLimit, Output output)
    : timeLimit_(timeLimit), output_(output) {}

ToolRunner& ToolRunner::captureAtMost(std::size_t bytes) {
    captureLimit_ = bytes;
    return *this;
}

ToolRunner& ToolRunner::giveUpWhen(std::function<bool()> asked) {
    giveUp_ = std::move(asked);
    return *this;
}

ToolRunner::Result ToolRunner::run(const std::vector<std::string>& arguments) const {
    if (arguments.empty()) return notStarted(EINVAL);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    UniqueFd reader;
    UniqueFd writer;
    if (output_ == Output::Captured) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return notStarted(errno);
        reader.reset(ends[0]);
        writer.reset(ends[1]);
        // Only our end: the tool's writes block as they would on any pipe.
        if (::fcntl(reader.get(), F_SETFL, O_NONBLOCK) != 0) return notStarted(errno);
    }
    pid_t tool = -1;
    {
        SpawnSetup setup;
        int error = setup.prepare(writer.get());
        if (error == 0)
            error = ::posix_spawn(&tool, argv[0], setup.actions(), setup.attributes(), argv.data(), environ);
        if (error != 0) return notStarted(error);
    }
    writer.reset();

    Capture capture(std::move(reader), captureLimit_);
    // Readable once the tool has ended: no polling, no delay added to a quick tool.
    const UniqueFd ended(static_cast<int>(::syscall(SYS_pidfd_open, tool, 0)));
    const Clock::time_point deadline = Clock::now() + timeLimit_;
    for (;;) {
        const State state = stateOf(tool);
        if (state == State::Lost) {
            capture.readAvailable();
            return {Ending::Lost, 0, capture.take()};
        }
        if (state == State::Ended) {
            // Not waiting for end of file: a child it left would hold the pipe open.
            Result result = endGroup(tool);
            capture.readAvailable();
            result.output = capture.take();
            return result;
        }
        if (giveUp_ && giveUp_()) return {Ending::GivenUp, 0, capture.take()};
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            endGroup(tool);
            capture.readAvailable();
            return {Ending::TimedOut, 0, capture.take()};
        }
        Clock::duration wait = left;
        if (!ended) wait = std::min<Clock::duration>(wait, kEndSlice);
        if (giveUp_) wait = std::min<Clock::duration>(wait, kGiveUpSlice);
        pollfd ready[2] = {{ended.get(), POLLIN, 0}, {capture.fd(), POLLIN, 0}};
        if (::poll(ready, 2, pollTime(wait)) > 0 && ready[1].revents != 0) capture.readAvailable();
    }
}

}  // namespace qxafa
