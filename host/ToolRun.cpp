// SPDX-License-Identifier: MIT
#include "host/ToolRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "host/StopRequest.h"
#include "platform/qxafa/UniqueFd.h"

extern char** environ;

namespace qxhost {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kPollSliceMs = 100;
constexpr std::size_t kReportLimit = 64 * 1024;

// The spawn attributes and file actions, released on every way out.
class SpawnSetup {
public:
    explicit SpawnSetup(int output) {
        posix_spawn_file_actions_init(&actions_);
        posix_spawnattr_init(&attributes_);
        posix_spawn_file_actions_addopen(&actions_, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions_, output, 1);
        posix_spawn_file_actions_adddup2(&actions_, output, 2);
        // qxhost blocks the stop signals and ignores SIGPIPE; the tool starts as udev starts it.
        sigset_t none;
        sigemptyset(&none);
        sigset_t ours;
        sigemptyset(&ours);
        for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGPIPE}) sigaddset(&ours, signal);
        posix_spawnattr_setsigmask(&attributes_, &none);
        posix_spawnattr_setsigdefault(&attributes_, &ours);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions_);
        posix_spawnattr_destroy(&attributes_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
};

std::string trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\r')) text.pop_back();
    return text;
}

std::string withReason(const std::string& report, const std::string& reason) {
    return report.empty() ? reason : report + "\n" + reason;
}

int sliceUntil(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::max<long long>(0, std::min<long long>(left, kPollSliceMs)));
}

}  // namespace

ToolRun runTool(const std::string& portPath, const StopRequest& stop, std::chrono::milliseconds timeLimit) {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return {std::nullopt, std::string("qxserialconfig could not be started: ") + std::strerror(errno)};
    qxafa::UniqueFd reader(ends[0]);
    qxafa::UniqueFd writer(ends[1]);

    std::string port = portPath;
    std::string tool = kToolPath;
    std::string portOption = "--port";
    std::string configOption = "--config-file";
    std::string configuration = kConfigurationPath;
    char* argv[] = {tool.data(), portOption.data(), port.data(), configOption.data(), configuration.data(), nullptr};
    pid_t pid = -1;
    int started = 0;
    {
        const SpawnSetup setup(writer.get());
        started = ::posix_spawn(&pid, kToolPath, setup.actions(), setup.attributes(), argv, environ);
    }
    writer.reset();
    if (started != 0) return {std::nullopt, std::string("qxserialconfig could not be started: ") + std::strerror(started)};

    const Clock::time_point deadline = Clock::now() + timeLimit;
    std::string report;
    bool open = true;
    int status = 0;
    for (;;) {
        if (stop.requested()) throw Stopped{};
        if (Clock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return {std::nullopt, withReason(trimmed(report), "qxserialconfig did not end within " +
                                                                   std::to_string(timeLimit.count() / 1000) +
                                                                   " s and was killed")};
        }
        if (open) {
            pollfd ready{reader.get(), POLLIN, 0};
            const int n = ::poll(&ready, 1, sliceUntil(deadline));
            if (n < 0 && errno != EINTR) open = false;
            if (n <= 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(reader.get(), buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) {
                open = false;
                continue;
            }
            if (report.size() < kReportLimit) report.append(buffer, static_cast<std::size_t>(got));
            continue;
        }
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid) break;
        if (ended < 0 && errno != EINTR) return {std::nullopt, withReason(trimmed(report), "qxserialconfig was lost")};
        stop.waitFor(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(status)) return {WEXITSTATUS(status), trimmed(report)};
    const char* name = ::sigabbrev_np(WTERMSIG(status));
    return {std::nullopt, withReason(trimmed(report), "qxserialconfig was ended by signal " +
                                                          std::to_string(WTERMSIG(status)) +
                                                          (name ? std::string(" (SIG") + name + ")" : ""))};
}

}  // namespace qxhost
