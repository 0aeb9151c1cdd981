// SPDX-License-Identifier: MIT
// Sends driver requests to a node, as the tool would, and prints each outcome:
//   qxsim_probe NODE REQUEST VALUE [REQUEST VALUE]...
// REQUEST: rx, tx (VALUE is the level), rs485 (VALUE is the flags word of the record) or
// rs485-unmapped (the record's address points nowhere; VALUE is ignored).
// Prints "rx ok", "tx EINVAL", ... one line per request; exit status 1 when NODE cannot be
// opened or the arguments are wrong.

#include <linux/serial.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr unsigned long kRxLevel = 0x40046E02;
constexpr unsigned long kTxLevel = 0x40046E04;

int send(int fd, const std::string& request, unsigned long value) {
    if (request == "rx") return ::ioctl(fd, kRxLevel, value);
    if (request == "tx") return ::ioctl(fd, kTxLevel, value);
    if (request == "rs485-unmapped") return ::ioctl(fd, TIOCSRS485, reinterpret_cast<serial_rs485*>(8));
    serial_rs485 record;
    std::memset(&record, 0, sizeof record);
    record.flags = uint32_t(value);
    return ::ioctl(fd, TIOCSRS485, &record);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: qxsim_probe NODE REQUEST VALUE [REQUEST VALUE]...\n");
        return 1;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        std::fprintf(stderr, "qxsim_probe: %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        const std::string request = argv[i];
        const int result = send(fd, request, std::strtoul(argv[i + 1], nullptr, 0));
        std::printf("%s %s\n", request.c_str(), result < 0 ? strerrorname_np(errno) : "ok");
    }
    ::close(fd);
    return 0;
}
