// SPDX-License-Identifier: MIT
#pragma once
// Serves the driver's requests and the system log for every process under the filter,
// reaps them, and ends when the last one has gone, with the command's exit status.

#include "platform/qxafa/UniqueFd.h"
#include "sim/Driver.h"
#include "sim/PortNodes.h"
#include "sim/SystemLog.h"

#include <linux/seccomp.h>
#include <optional>
#include <sys/types.h>

namespace qxsim {

class Supervisor {
public:
    // listener may be empty when the command's process failed before installing the filter;
    // signals is a signalfd for SIGCHLD and the signals passed on to the command.
    Supervisor(qxafa::UniqueFd listener, qxafa::UniqueFd signals, pid_t command, const PortNodes& nodes, Driver& driver,
               SystemLog& log);

    // The command's exit status (128 + signal number when a signal ended it).
    int run();

private:
    void handleSignals();
    void reapChildren();
    void serveRequest();
    int answer(const seccomp_notif& request, const PortRef& port);
    void respond(uint64_t id, int error, bool passOn);
    bool stillValid(uint64_t id) const;

    qxafa::UniqueFd listener_;
    qxafa::UniqueFd signals_;
    pid_t command_;
    const PortNodes& nodes_;
    Driver& driver_;
    SystemLog& log_;
    std::optional<int> status_;
};

}  // namespace qxsim
