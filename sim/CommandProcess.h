// SPDX-License-Identifier: MIT
#pragma once
// The process that becomes the command: it enters the sandbox, installs the request filter,
// hands the filter's listener and the system log's socket to the supervisor and then
// executes the command.

#include "platform/qxafa/UniqueFd.h"
#include "sim/Sandbox.h"

#include <csignal>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qxsim {

class CommandProcess {
public:
    // Exit statuses of the process when it could not become the command.
    static constexpr int kSetupFailed = 125;
    static constexpr int kNotExecutable = 126;
    static constexpr int kNotFound = 127;

    // signalMask: the mask the command starts with.
    CommandProcess(const Sandbox& sandbox, const std::vector<std::string>& command, const sigset_t& signalMask);

    pid_t pid() const { return pid_; }

    // The filter's listener; empty when the process failed before installing the filter.
    qxafa::UniqueFd receiveListener();
    // Then the socket of the system log inside; empty when the process failed before.
    qxafa::UniqueFd receiveSystemLog();

    // Lets the process execute the command. Until then it waits, inside its namespaces,
    // so that they can be opened while it surely lives.
    void start();

private:
    [[noreturn]] void runChild(const Sandbox& sandbox, char* const argv[], const std::string& cwd,
                               const sigset_t& signalMask);

    pid_t pid_ = -1;
    qxafa::UniqueFd socket_;
};

}  // namespace qxsim
