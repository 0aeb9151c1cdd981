// SPDX-License-Identifier: MIT
#pragma once
// Recognises the simulated port nodes by identity (device and inode), so a request is
// answered only for a descriptor that really refers to one, whatever path opened it.

#include "sim/Board.h"
#include "sim/StateDir.h"

#include <map>
#include <optional>
#include <sys/types.h>
#include <utility>

namespace qxsim {

class PortNodes {
public:
    PortNodes(const BoardSet& boards, const StateDir& state);

    // The port that descriptor fd of process pid refers to, if it is one.
    std::optional<PortRef> lookup(pid_t pid, int fd) const;

private:
    std::map<std::pair<dev_t, ino_t>, PortRef> nodes_;
};

}  // namespace qxsim
