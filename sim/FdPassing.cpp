// SPDX-License-Identifier: MIT
#include "sim/FdPassing.h"

#include "sim/SystemError.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace qxsim {

namespace {

// One data byte with room for one descriptor beside it; the byte keeps the
// message from being mistaken for end of stream.
struct DescriptorMessage {
    char byte = 0;
    iovec data{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr message{};

    DescriptorMessage() {
        message.msg_iov = &data;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
    }
    DescriptorMessage(const DescriptorMessage&) = delete;
    DescriptorMessage& operator=(const DescriptorMessage&) = delete;
};

}  // namespace

void sendFd(int socket, int fd) {
    DescriptorMessage m;
    msghdr& message = m.message;
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = SOL_SOCKET;
    header->cmsg_type = SCM_RIGHTS;
    header->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    while (::sendmsg(socket, &message, MSG_NOSIGNAL) < 0) {
        if (errno != EINTR) throw SystemError("send listener", errno);
    }
}

qxafa::UniqueFd receiveFd(int socket) {
    DescriptorMessage m;
    msghdr& message = m.message;
    ssize_t received;
    while ((received = ::recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0) {
        if (errno != EINTR) throw SystemError("receive listener", errno);
    }
    const cmsghdr* header = CMSG_FIRSTHDR(&message);
    if (received == 0 || !header || header->cmsg_type != SCM_RIGHTS) return qxafa::UniqueFd();
    int fd;
    std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
    return qxafa::UniqueFd(fd);
}

}  // namespace qxsim
