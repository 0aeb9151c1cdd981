// SPDX-License-Identifier: MIT
// Runs a command as the leader of a new session without a controlling terminal, with a
// fresh pseudo-terminal mounted over NODE, and tells whether the command took that
// terminal as its controlling terminal:
//   ctty_probe NODE COMMAND [ARG...]
// Prints "exit N" (the command's status) and "controlling terminal: yes|no".
//
// When a session leader exits, its controlling terminal's foreground group gets SIGHUP.
// A second member of the command's group blocks SIGHUP, so after the command has gone the
// signal is pending there exactly when the terminal had been taken.

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "ctty_probe: %s: %s\n", what, std::strerror(errno));
    std::exit(2);
}

// Waits in the command's process group until the probe closes the pipe.
[[noreturn]] void watch(int go) {
    char byte;
    while (::read(go, &byte, 1) != 0) {
        if (errno != EINTR) ::_exit(3);
    }
    sigset_t pending;
    ::sigpending(&pending);
    ::_exit(sigismember(&pending, SIGHUP) ? 0 : 1);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: ctty_probe NODE COMMAND [ARG...]\n");
        return 2;
    }
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) < 0 || ::unlockpt(master) < 0) fail("open a pseudo-terminal");
    const int terminal = ::ioctl(master, TIOCGPTPEER, O_RDWR | O_NOCTTY);
    if (terminal < 0) fail("open the terminal side");
    const std::string source = "/proc/self/fd/" + std::to_string(terminal);
    if (::mount(source.c_str(), argv[1], nullptr, MS_BIND, nullptr) < 0) fail("mount the terminal");
    ::close(terminal);

    // The watcher outlives the session leader, its parent; it must come back to us.
    if (::prctl(PR_SET_CHILD_SUBREAPER, 1) < 0) fail("become a subreaper");
    sigset_t hangup, previous;
    sigemptyset(&hangup);
    sigaddset(&hangup, SIGHUP);
    ::sigprocmask(SIG_BLOCK, &hangup, &previous);
    int go[2];
    if (::pipe2(go, O_CLOEXEC) < 0) fail("pipe");

    const pid_t leader = ::fork();
    if (leader < 0) fail("fork");
    if (leader == 0) {
        if (::setsid() < 0) fail("setsid");
        const pid_t watcher = ::fork();
        if (watcher < 0) fail("fork");
        if (watcher == 0) {
            ::close(go[1]);
            watch(go[0]);
        }
        ::sigprocmask(SIG_SETMASK, &previous, nullptr);
        ::execvp(argv[2], argv + 2);
        fail(argv[2]);
    }
    ::close(go[0]);
    int status = 0;
    while (::waitpid(leader, &status, 0) < 0) {
        if (errno != EINTR) fail("wait for the command");
    }
    ::close(go[1]);
    int watched = 0;
    while (::waitpid(-1, &watched, 0) < 0) {
        if (errno != EINTR) fail("wait for the watcher");
    }
    if (!WIFEXITED(watched) || WEXITSTATUS(watched) > 1) {
        std::fprintf(stderr, "ctty_probe: the watcher failed\n");
        return 2;
    }
    std::printf("exit %d\ncontrolling terminal: %s\n",
                WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status),
                WEXITSTATUS(watched) == 0 ? "yes" : "no");
    return 0;
}
