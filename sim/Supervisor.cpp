// SPDX-License-Identifier: MIT
#include "sim/Supervisor.h"

#include "sim/SeccompFilter.h"
#include "sim/SystemError.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/signalfd.h>
#include <sys/uio.h>
#include <sys/wait.h>

namespace qxsim {

namespace {

int exitStatus(int waitStatus) {
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return WEXITSTATUS(waitStatus);
}

}  // namespace

Supervisor::Supervisor(qxafa::UniqueFd listener, qxafa::UniqueFd signals, pid_t command, const PortNodes& nodes, Driver& driver,
                       SystemLog& log)
    : listener_(std::move(listener)), signals_(std::move(signals)), command_(command), nodes_(nodes),
      driver_(driver), log_(log) {}

int Supervisor::run() {
    // The listener hangs up once every filtered process has gone and been reaped.
    while (listener_ || !status_) {
        // A descriptor of -1 is left out of the poll.
        pollfd fds[3] = {{signals_.get(), POLLIN, 0}, {log_.fd(), POLLIN, 0}, {listener_.get(), POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            throw SystemError("poll", errno);
        }
        if (fds[0].revents & POLLIN) handleSignals();
        if (fds[1].revents & POLLIN) log_.receive();
        if (listener_ && (fds[2].revents & POLLIN)) serveRequest();
        else if (listener_ && (fds[2].revents & (POLLHUP | POLLERR))) listener_.reset();
    }
    // Whatever the last of them sent is queued by now.
    log_.receive();
    reapChildren();
    return *status_;
}

void Supervisor::handleSignals() {
    signalfd_siginfo info{};
    while (::read(signals_.get(), &info, sizeof info) == ssize_t(sizeof info)) {
        // Terminal signals reach the command through its process group already.
        if ((info.ssi_signo == SIGTERM || info.ssi_signo == SIGHUP) && !status_) ::kill(command_, int(info.ssi_signo));
    }
    reapChildren();
}

// As subreaper we also inherit the command's orphans; they must be reaped too, or the
// filter never loses its last user.
void Supervisor::reapChildren() {
    int waitStatus = 0;
    pid_t pid;
    while ((pid = ::waitpid(-1, &waitStatus, WNOHANG)) > 0) {
        if (pid == command_) status_ = exitStatus(waitStatus);
    }
}

void Supervisor::serveRequest() {
    seccomp_notif request;
    std::memset(&request, 0, sizeof request);
    if (::ioctl(listener_.get(), SECCOMP_IOCTL_NOTIF_RECV, &request) < 0) {
        if (errno == EINTR || errno == ENOENT) return;  // interrupted, or the caller died
        throw SystemError("receive seccomp notification", errno);
    }
    const auto port = nodes_.lookup(pid_t(request.pid), int(request.data.args[0]));
    // The pid may have been reused between the notification and the look-up.
    if (!stillValid(request.id)) return;
    if (!port) {
        respond(request.id, 0, true);
        return;
    }
    const int error = answer(request, *port);
    respond(request.id, error, false);
}

int Supervisor::answer(const seccomp_notif& request, const PortRef& port) {
    const uint32_t number = uint32_t(request.data.args[1]);
    const uint64_t argument = request.data.args[2];
    if (number != kRequestRs485) {
        return driver_.setLevel(port, number == kRequestRxLevel ? Request::Rx : Request::Tx, argument);
    }
    Rs485Record record{};
    iovec local{record.data(), sizeof record};
    iovec remote{reinterpret_cast<void*>(argument), sizeof record};
    const ssize_t copied = ::process_vm_readv(pid_t(request.pid), &local, 1, &remote, 1, 0);
    const int readError = copied == ssize_t(sizeof record) ? 0 : copied < 0 ? errno : EFAULT;
    if (!stillValid(request.id)) return ESRCH;  // the memory read may have been of another process
    if (readError) return driver_.rs485Unreadable(port, readError == ESRCH ? ESRCH : EFAULT);
    return driver_.setRs485(port, record);
}

void Supervisor::respond(uint64_t id, int error, bool passOn) {
    seccomp_notif_resp response;
    std::memset(&response, 0, sizeof response);
    response.id = id;
    response.error = -error;
    response.flags = passOn ? SECCOMP_USER_NOTIF_FLAG_CONTINUE : 0;
    if (::ioctl(listener_.get(), SECCOMP_IOCTL_NOTIF_SEND, &response) < 0 && errno != ENOENT)
        throw SystemError("answer seccomp notification", errno);
}

bool Supervisor::stillValid(uint64_t id) const {
    return ::ioctl(listener_.get(), SECCOMP_IOCTL_NOTIF_ID_VALID, &id) == 0;
}

}  // namespace qxsim
