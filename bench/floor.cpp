// SPDX-License-Identifier: MIT
// The least a separate process can do to configure an RS-485 port: open the node and send
// the three requests. The tool is measured against this.
//   qxbench_floor NODE RX TX MODE

#include <cstdlib>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 5) {
        return 2;
    }
    static const unsigned kFlags[] = {0x00, 0x11, 0x01, 0x03};
    const unsigned long rx = std::strtoul(argv[2], nullptr, 10);
    const unsigned long tx = std::strtoul(argv[3], nullptr, 10);
    const unsigned long mode = std::strtoul(argv[4], nullptr, 10);
    if (mode > 3) {
        return 2;
    }
    const int fd = ::open(argv[1], O_RDWR | O_NONBLOCK);
    if (fd < 0) {
        return 1;
    }
    serial_rs485 settings{};
    settings.flags = kFlags[mode];
    const bool ok = ::ioctl(fd, 0x40046E02, rx) >= 0 && ::ioctl(fd, 0x40046E04, tx) >= 0 &&
                    ::ioctl(fd, TIOCSRS485, &settings) >= 0;
    ::close(fd);
    return ok ? 0 : 1;
}
