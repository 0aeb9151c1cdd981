#pragma once
// Handing a descriptor to another process over a Unix socket (SCM_RIGHTS).

#include "sim/UniqueFd.h"

namespace qxsim {

void sendFd(int socket, int fd);

// An empty UniqueFd when the peer closed the socket without sending one.
UniqueFd receiveFd(int socket);

}  // namespace qxsim
