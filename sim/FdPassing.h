// SPDX-License-Identifier: MIT
#pragma once
// Handing a descriptor to another process over a Unix socket (SCM_RIGHTS).

#include "platform/qxafa/UniqueFd.h"

namespace qxsim {

void sendFd(int socket, int fd);

// An empty descriptor when the peer closed the socket without sending one.
qxafa::UniqueFd receiveFd(int socket);

}  // namespace qxsim
