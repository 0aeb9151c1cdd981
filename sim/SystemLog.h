// SPDX-License-Identifier: MIT
#pragma once
// The system log of the simulated machine: a datagram socket at /dev/log inside the
// namespace, served by the supervisor, which keeps every message in the state directory,
// one line each, oldest first, for "qxsim log".

#include "platform/qxafa/UniqueFd.h"
#include "sim/StateDir.h"

#include <string>
#include <string_view>

namespace qxsim {

class SystemLog {
public:
    static constexpr char kSocketPath[] = "/dev/log";

    // Inside the namespace, once /dev is the simulation's: the socket bound at kSocketPath.
    static qxafa::UniqueFd bind();

    // socket may be empty (the command failed before it was bound): nothing is kept.
    SystemLog(const StateDir& state, qxafa::UniqueFd socket);

    int fd() const { return socket_.get(); }
    // Keeps every message that has arrived, without waiting for more.
    void receive();

    // One message as "qxsim log" prints it: the facility and severity by name, then the
    // message as sent after its priority, but for control bytes (line breaks above all),
    // which show as \xHH.
    static std::string line(std::string_view message);

private:
    StateDir state_;
    qxafa::UniqueFd socket_;
};

}  // namespace qxsim
