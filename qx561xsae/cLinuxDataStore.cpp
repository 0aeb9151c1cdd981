// SPDX-License-Identifier: MIT
#include "qx561xsae/cLinuxDataStore.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>
#include <vector>

#include "platform/qx/dsc/Utf8.h"
#include "platform/qxafa/UniqueFd.h"
#include "platform/qxerr/Exception.h"
#include "qx561xsae/ItemNames.h"
#include "qx561xsae/PluginTrace.h"
#include "shared/qx561x/cIniDataStore.h"

extern char** environ;

namespace qx561xsae {
namespace {

constexpr qxerr::SourceLocation kToolFailed{"qx561xsae/cLinuxDataStore", 163, qxerr::kComponent,
                                            "qxapalerr_softwareFaultAPALInternalUseOnly"};
constexpr char kToolFailedMessage[] = "error occurred when invoking qxserialconfig";
constexpr int kFirstHostDescriptor = 3;
// Where a kernel cannot hand out a descriptor that tells when the tool ends.
constexpr std::chrono::milliseconds kLongestPoll{20};

[[noreturn]] void raiseToolFailed() {
    qxerr::raise(qxerr::qxapalerr_softwareFaultAPALInternalUseOnly, kToolFailed,
                 kToolFailedMessage);
}

// The spawn objects of one run, destroyed on every way out.
class SpawnSetup {
public:
    SpawnSetup() {
        ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
        if (ok_ && ::posix_spawnattr_init(&attributes_) != 0) {
            ::posix_spawn_file_actions_destroy(&actions_);
            ok_ = false;
        }
    }
    ~SpawnSetup() {
        if (!ok_) return;
        ::posix_spawnattr_destroy(&attributes_);
        ::posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // The host's descriptors stay with the host; the tool starts with a clean signal
    // state, whatever the host blocked or ignored, in a process group of its own, so that
    // a tool that hangs can be ended with whatever it started.
    bool prepare() {
        if (!ok_) return false;
        sigset_t none;
        sigset_t all;
        ::sigemptyset(&none);
        ::sigfillset(&all);
        return ::posix_spawn_file_actions_addclosefrom_np(&actions_, kFirstHostDescriptor) == 0 &&
               ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
               ::posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
               ::posix_spawnattr_setpgroup(&attributes_, 0) == 0 &&
               ::posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK |
                                                            POSIX_SPAWN_SETSIGDEF |
                                                            POSIX_SPAWN_SETPGROUP) == 0;
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
    bool ok_ = false;
};

enum class Ending { Reaped, StillRunning, Lost };

// Reaps the child if it ends within the limit. Lost: it cannot be waited for (a host that
// ignores SIGCHLD has it reaped by the kernel), so its number may be another's already.
Ending reapedWithin(pid_t child, std::chrono::milliseconds limit, int& status) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + limit;
    // Readable once the child has ended: no polling, no delay added to a quick tool.
    const qxafa::UniqueFd ended(static_cast<int>(::syscall(SYS_pidfd_open, child, 0)));
    for (;;) {
        const pid_t waited = ::waitpid(child, &status, WNOHANG);
        if (waited == child) return Ending::Reaped;
        if (waited < 0 && errno != EINTR) return Ending::Lost;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return Ending::StillRunning;
        if (ended) {
            pollfd fd{ended.get(), POLLIN, 0};
            ::poll(&fd, 1, static_cast<int>(left.count()) + 1);
        } else {
            std::this_thread::sleep_for(std::min(left, kLongestPoll));
        }
    }
}

void killAndReap(pid_t child) {
    ::kill(-child, SIGKILL);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

uint32_t reportedMode(uint32_t stored) { return stored > 3 ? kRs485ModeOutOfRange : stored; }

// The identifier ends in ":" and the port number (a slot path may hold ":", the number
// cannot): reading it back spares a second walk of the board's ports.
uint32_t portNumberOf(const std::string& identifier) {
    return static_cast<uint32_t>(std::stoul(identifier.substr(identifier.rfind(':') + 1)));
}

}  // namespace

bool operator==(const tPortInfo& a, const tPortInfo& b) {
    return a.parentDeviceName == b.parentDeviceName && a.portDevicePath == b.portDevicePath &&
           a.portNumber == b.portNumber && a.rxFifoDepthMin == b.rxFifoDepthMin &&
           a.rxFifoDepthMax == b.rxFifoDepthMax && a.rxFifoDepthDefault == b.rxFifoDepthDefault &&
           a.rxFifoDepth == b.rxFifoDepth && a.txFifoDepthMin == b.txFifoDepthMin &&
           a.txFifoDepthMax == b.txFifoDepthMax && a.txFifoDepthDefault == b.txFifoDepthDefault &&
           a.txFifoDepth == b.txFifoDepth && a.isRs232 == b.isRs232 &&
           a.rs485TransceiverMode == b.rs485TransceiverMode;
}

cLinuxDataStore::cLinuxDataStore(
    std::unique_ptr<qx561x::iEnumeratorFactory> enumeratorFactory,
    std::unique_ptr<qx561x::iPropertyAccessorFactory> propertyAccessorFactory,
    std::string toolPath, std::string configurationPath, std::chrono::milliseconds toolTimeLimit)
    : enumeratorFactory(std::move(enumeratorFactory)),
      propertyAccessorFactory(std::move(propertyAccessorFactory)),
      toolPath(std::move(toolPath)),
      fixedConfigurationPath(std::move(configurationPath)),
      toolTimeLimit(toolTimeLimit) {}

std::string cLinuxDataStore::configurationPath() const {
    return fixedConfigurationPath.empty() ? qx561x::cIniDataStore::configurationFilePath()
                                          : fixedConfigurationPath;
}

std::vector<std::string> cLinuxDataStore::listItemNames() {
    std::vector<std::string> names;
    const std::vector<std::string> devices =
        enumeratorFactory->createDeviceEnumerator()->enumerateDevices();
    for (const std::string& device : devices) {
        if (!canBeNamed(device, "board")) continue;
        names.push_back(makeDeviceName(device));
        for (const std::string& port : enumeratorFactory->createPortEnumerator()->enumeratePorts(device))
            if (canBeNamed(port, "port")) names.push_back(makePortName(port));
    }
    return names;
}

bool cLinuxDataStore::canBeNamed(const std::string& path, const char* what) {
    if (qx::dsc::isValidUtf8(path)) return true;
    std::lock_guard<std::mutex> guard(unnamedMutex);
    if (unnamed.insert(path).second)
        traceLine(std::string(what) + " " + qx::dsc::visibleUtf8(path) +
                  " is not listed: its path is not valid UTF-8");
    return false;
}

tDeviceInfo cLinuxDataStore::getDeviceInfo(const std::string& itemName) {
    const std::string devicePath = deviceIdFromName(itemName);
    auto device = propertyAccessorFactory->createDevicePropertyAccessor(devicePath);
    tDeviceInfo info;
    info.modelName = device->getModelName();
    info.serialNumber = device->getSerialNumber();
    info.itemName = itemName;
    info.description = device->getDescription();
    info.pciDeviceId = device->getPciDeviceId();
    info.portCount = device->getPortCount();
    info.pciBusNumber = device->getPciBusNumber();
    info.pciDeviceNumber = device->getPciDeviceNumber();
    info.pciFunctionNumber = device->getPciFunctionNumber();
    info.busType = device->getBusType();
    return info;
}

tPortInfo cLinuxDataStore::getPortInfo(const std::string& itemName) {
    auto port = propertyAccessorFactory->createPortPropertyAccessor(portIdFromName(itemName));
    const std::string identifier = port->getPortIdentifier();
    const std::shared_ptr<const qx561x::cIniDataStore> loaded =
        configurationCache.load(configurationPath());
    const qx561x::cIniDataStore& store = *loaded;
    tPortInfo info;
    info.parentDeviceName = makeDeviceName(port->getDevicePath());
    info.portDevicePath = port->getPortDevicePath();
    info.portNumber = portNumberOf(identifier);
    info.rxFifoDepthMin = port->getRxFifoDepthMin();
    info.rxFifoDepthMax = port->getRxFifoDepthMax();
    info.rxFifoDepthDefault = port->getRxFifoDepthDefault();
    info.rxFifoDepth = store.getFifoRxDepth(identifier);
    info.txFifoDepthMin = port->getTxFifoDepthMin();
    info.txFifoDepthMax = port->getTxFifoDepthMax();
    info.txFifoDepthDefault = port->getTxFifoDepthDefault();
    info.txFifoDepth = store.getFifoTxDepth(identifier);
    info.isRs232 = port->isRs232();
    info.rs485TransceiverMode = reportedMode(store.getRs485TransceiverMode(identifier));
    return info;
}

void cLinuxDataStore::savePortConfiguration(const std::string& itemName, const tPortInfo& info) {
    const std::string portName = portIdFromName(itemName);
    const std::string identifier =
        propertyAccessorFactory->createPortPropertyAccessor(portName)->getPortIdentifier();
    qx561x::cIniDataStore store;
    store.setFifoRxDepth(identifier, info.rxFifoDepth);
    store.setFifoTxDepth(identifier, info.txFifoDepth);
    store.setRs485TransceiverMode(identifier, info.rs485TransceiverMode);
    const std::string path = configurationPath();
    store.save(path);
    runTool(portName, path);
}

// No shell between us and the tool: the port name is one argument, whatever it holds.
void cLinuxDataStore::runTool(const std::string& portName, const std::string& path) const {
    std::vector<std::string> arguments{toolPath, "--port", portName, "--config-file", path};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.prepare()) raiseToolFailed();
    pid_t child = -1;
    if (::posix_spawn(&child, toolPath.c_str(), setup.actions(), setup.attributes(), argv.data(),
                      environ) != 0) {
        raiseToolFailed();
    }
    int status = 0;
    switch (reapedWithin(child, toolTimeLimit, status)) {
    case Ending::Reaped:
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) raiseToolFailed();
        return;
    case Ending::StillRunning:
        killAndReap(child);
        raiseToolFailed();
    case Ending::Lost:
        raiseToolFailed();
    }
}

}  // namespace qx561xsae
