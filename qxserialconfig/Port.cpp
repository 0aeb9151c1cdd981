// SPDX-License-Identifier: MIT
#include "qxserialconfig/Port.h"

#include <cerrno>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include "platform/qxerr/Exception.h"
#include "shared/qx561x/PortSettings.h"

namespace qxserialconfig {
namespace {

constexpr const char* kModule = "qxserialconfig/Port";
constexpr qxerr::SourceLocation kOpenFailed{kModule, 22, qxerr::kComponent, "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kRxFailed{kModule, 35, qxerr::kComponent, "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kTxFailed{kModule, 43, qxerr::kComponent, "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kModeOutOfRange{kModule, 65, qxerr::kComponent,
                                                "qxapalerr_invalidParameter"};
constexpr qxerr::SourceLocation kModeFailed{kModule, 71, qxerr::kComponent, "qxapalerr_osFault"};

// The driver's FIFO requests: _IOW('n', 2|4, int), yet the level travels as the value itself.
constexpr unsigned long kSetRxFifoTriggerLevel = 0x40046E02;
constexpr unsigned long kSetTxFifoFillLevel = 0x40046E04;

static_assert(sizeof(serial_rs485) == 32, "the driver expects a 32-byte record");
static_assert(TIOCSRS485 == 0x542F, "the driver's RS-485 request number");

void sendLevel(int fd, unsigned long request, uint32_t level,
               const qxerr::SourceLocation& location, const char* message) {
    if (::ioctl(fd, request, static_cast<unsigned long>(level)) < 0) {
        qxerr::raiseOsError(qxerr::qxapalerr_osFault, location, errno, message);
    }
}

}  // namespace

// Run from udev or a service the tool may lead a session without a terminal; opening a tty
// would then make the port its controlling terminal.
Port::Port(const std::string& devicePath)
    : fd(::open(devicePath.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY)) {
    if (!fd) {
        qxerr::raiseOsError(qxerr::qxapalerr_osFault, kOpenFailed, errno, "failed to open port");
    }
}

void Port::setRxFifoTriggerLevel(uint32_t level) {
    sendLevel(fd.get(), kSetRxFifoTriggerLevel, level, kRxFailed, "failed to set RX FIFO trigger level");
}

void Port::setTxFifoFillLevel(uint32_t level) {
    sendLevel(fd.get(), kSetTxFifoFillLevel, level, kTxFailed, "failed to set TX FIFO fill level");
}

void Port::setRs485WireMode(uint32_t mode) {
    serial_rs485 settings{};
    const qx561x::tRs485Mode* known = qx561x::findRs485Mode(mode);
    if (!known) {
        qxerr::raise(qxerr::qxapalerr_invalidParameter, kModeOutOfRange);
    }
    settings.flags = known->flags;
    if (::ioctl(fd.get(), TIOCSRS485, &settings) < 0) {
        qxerr::raiseOsError(qxerr::qxapalerr_osFault, kModeFailed, errno,
                            "failed to set RS-485 wire mode");
    }
}

}  // namespace qxserialconfig
