// SPDX-License-Identifier: MIT
#include "sim/CommandProcess.h"

#include "sim/FdPassing.h"
#include "sim/SeccompFilter.h"
#include "sim/SystemError.h"
#include "sim/SystemLog.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <unistd.h>

namespace qxsim {

CommandProcess::CommandProcess(const Sandbox& sandbox, const std::vector<std::string>& command,
                               const sigset_t& signalMask) {
    // Everything the child needs is ready before the fork, so it allocates little.
    std::vector<char*> argv;
    for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const std::string cwd = std::filesystem::current_path().string();

    int sockets[2];
    check(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets), "create socket pair");
    qxafa::UniqueFd parentEnd(sockets[0]), childEnd(sockets[1]);
    pid_ = check(::fork(), "fork");
    if (pid_ == 0) {
        parentEnd.reset();
        socket_ = std::move(childEnd);
        runChild(sandbox, argv.data(), cwd, signalMask);
    }
    socket_ = std::move(parentEnd);
}

qxafa::UniqueFd CommandProcess::receiveListener() { return receiveFd(socket_.get()); }

qxafa::UniqueFd CommandProcess::receiveSystemLog() { return receiveFd(socket_.get()); }

void CommandProcess::start() {
    const char go = 1;
    while (::write(socket_.get(), &go, 1) < 0 && errno == EINTR) {
    }
    socket_.reset();
}

void CommandProcess::runChild(const Sandbox& sandbox, char* const argv[], const std::string& cwd,
                              const sigset_t& signalMask) {
    try {
        ::sigprocmask(SIG_SETMASK, &signalMask, nullptr);
        sandbox.enter();
        // The old working directory may lie below a path that is now mounted over.
        if (::chdir(cwd.c_str()) < 0) std::fprintf(stderr, "qxsim: warning: cannot enter %s\n", cwd.c_str());
        const qxafa::UniqueFd log = SystemLog::bind();
        qxafa::UniqueFd listener = SeccompFilter::install();
        sendFd(socket_.get(), listener.get());
        sendFd(socket_.get(), log.get());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qxsim: %s\n", error.what());
        ::_exit(kSetupFailed);
    }
    char go = 0;  // an end of file lets the command go as well
    while (::read(socket_.get(), &go, 1) < 0 && errno == EINTR) {
    }
    socket_.reset();
    ::execvp(argv[0], argv);
    const int error = errno;
    std::fprintf(stderr, "qxsim: cannot run %s: %s\n", argv[0], std::strerror(error));
    ::_exit(error == ENOENT ? kNotFound : kNotExecutable);
}

}  // namespace qxsim
