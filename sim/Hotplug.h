// SPDX-License-Identifier: MIT
#pragma once
// Boards that come and go while a simulation runs. The running qxsim holds the namespaces of
// its command open and says where in the state directory; "qxsim plug" and "qxsim unplug"
// join them (unless already inside) and add or remove one board's driver directory, device
// directory, link in /sys/bus/pci/devices and port nodes. Each directory is built aside and renamed into place, and
// removed by renaming it aside first, so a reader never finds a board half there.

#include "platform/qxafa/UniqueFd.h"
#include "sim/Board.h"
#include "sim/StateDir.h"

#include <stdexcept>
#include <sys/types.h>

namespace qxsim {

// No simulation runs in the state directory (exit status 1).
class NotRunning : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class NamespaceAnchor {
public:
    // Opens the namespaces of pid, which has entered them, and publishes them in the state
    // directory; the caller holds the state lock.
    NamespaceAnchor(const StateDir& state, pid_t pid);
    ~NamespaceAnchor();
    NamespaceAnchor(const NamespaceAnchor&) = delete;
    NamespaceAnchor& operator=(const NamespaceAnchor&) = delete;

private:
    std::string runFile_;
    qxafa::UniqueFd user_;  // empty when running as root: no user namespace of our own
    qxafa::UniqueFd mount_;
};

// Enters the namespaces of the simulation running in state, unless already inside.
void joinSimulation(const StateDir& state);

// Inside the namespace, with the state locked. Plugging a plugged board, or unplugging an
// unplugged one, changes nothing.
void plugBoard(const StateDir& state, const Board& board);
void unplugBoard(const StateDir& state, const Board& board);

}  // namespace qxsim
