// SPDX-License-Identifier: MIT
#include "qx561xsae/cLinuxDataStore.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "platform/qxerr/Exception.h"
#include "qx561xsae/ItemNames.h"
#include "shared/qx561x/cIniDataStore.h"

extern char** environ;

namespace qx561xsae {
namespace {

constexpr qxerr::SourceLocation kToolFailed{"qx561xsae/cLinuxDataStore", 163, qxerr::kComponent,
                                            "qxapalerr_softwareFaultAPALInternalUseOnly"};
constexpr char kToolFailedMessage[] = "error occurred when invoking qxserialconfig";
constexpr int kFirstHostDescriptor = 3;

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
    // state, whatever the host blocked or ignored.
    bool prepare() {
        if (!ok_) return false;
        sigset_t none;
        sigset_t all;
        ::sigemptyset(&none);
        ::sigfillset(&all);
        return ::posix_spawn_file_actions_addclosefrom_np(&actions_, kFirstHostDescriptor) == 0 &&
               ::posix_spawnattr_setsigmask(&attributes_, &none) == 0 &&
               ::posix_spawnattr_setsigdefault(&attributes_, &all) == 0 &&
               ::posix_spawnattr_setflags(&attributes_,
                                          POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0;
    }

    const posix_spawn_file_actions_t* actions() const { return &actions_; }
    const posix_spawnattr_t* attributes() const { return &attributes_; }

private:
    posix_spawn_file_actions_t actions_;
    posix_spawnattr_t attributes_;
    bool ok_ = false;
};

uint32_t reportedMode(uint32_t stored) { return stored > 3 ? kRs485ModeOutOfRange : stored; }

// The identifier ends in ":" and the port number (a slot path may hold ":", the number
// cannot): reading it back spares a second walk of the board's ports.
uint32_t portNumberOf(const std::string& identifier) {
    return static_cast<uint32_t>(std::stoul(identifier.substr(identifier.rfind(':') + 1)));
}

// A board as the ports of one moment see it: read once, whichever port asks.
struct BoardReading {
    std::unique_ptr<qx561x::iDevicePropertyAccessor> accessor;
    std::optional<std::string> slotPath;
};

class SharedBoard : public qx561x::iDevicePropertyAccessor {
public:
    explicit SharedBoard(BoardReading& board) : board_(board) {}
    std::string getDevicePath() override { return board_.accessor->getDevicePath(); }
    std::string getPciSlotPath() override {
        if (!board_.slotPath) board_.slotPath = board_.accessor->getPciSlotPath();
        return *board_.slotPath;
    }
    uint32_t getPciDeviceId() override { return board_.accessor->getPciDeviceId(); }
    uint32_t getPciBusNumber() override { return board_.accessor->getPciBusNumber(); }
    uint32_t getPciDeviceNumber() override { return board_.accessor->getPciDeviceNumber(); }
    uint32_t getPciFunctionNumber() override { return board_.accessor->getPciFunctionNumber(); }
    std::string getSerialNumber() override { return board_.accessor->getSerialNumber(); }
    std::string getModelName() override { return board_.accessor->getModelName(); }
    std::string getDescription() override { return board_.accessor->getDescription(); }
    int32_t getPortCount() override { return board_.accessor->getPortCount(); }
    uint32_t getBusType() override { return board_.accessor->getBusType(); }

private:
    BoardReading& board_;
};

}  // namespace

// What one read scope has read so far; used by its thread alone.
struct cLinuxDataStore::Moment {
    std::shared_ptr<const qx561x::cIniDataStore> configuration;
    std::map<std::string, std::vector<std::string>> ports;  // by board path
    std::map<std::string, BoardReading> boards;            // by board path
    std::map<std::string, tPortInfo> portInfo;             // by item name
    std::map<std::string, tDeviceInfo> deviceInfo;         // by item name
};

class cLinuxDataStore::Scope : public iReadScope {
public:
    Scope(cLinuxDataStore& store, std::thread::id thread) : store_(store), thread_(thread) {}
    ~Scope() override {
        std::lock_guard<std::mutex> guard(store_.momentsMutex);
        store_.moments.erase(thread_);
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    cLinuxDataStore& store_;
    std::thread::id thread_;
};

// A port accessor's view of its board's ports: the list the moment has, or read into it.
class cLinuxDataStore::MomentEnumerators : public qx561x::iEnumeratorFactory {
public:
    MomentEnumerators(cLinuxDataStore& store, Moment& moment) : store_(store), moment_(moment) {}

    std::unique_ptr<qx561x::iDeviceEnumerator> createDeviceEnumerator() override {
        return store_.enumeratorFactory->createDeviceEnumerator();
    }
    std::unique_ptr<qx561x::iPortEnumerator> createPortEnumerator() override {
        return std::make_unique<Ports>(store_, moment_);
    }

private:
    class Ports : public qx561x::iPortEnumerator {
    public:
        Ports(cLinuxDataStore& store, Moment& moment) : store_(store), moment_(moment) {}
        std::vector<std::string> enumeratePorts(const std::string& devicePath) override {
            try {
                return store_.portsOf(devicePath, &moment_);
            } catch (const std::exception&) {
                return {};  // as a port enumerator answers any failure
            }
        }

    private:
        cLinuxDataStore& store_;
        Moment& moment_;
    };

    cLinuxDataStore& store_;
    Moment& moment_;
};

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
    std::string toolPath, std::string configurationPath)
    : enumeratorFactory(std::move(enumeratorFactory)),
      propertyAccessorFactory(std::move(propertyAccessorFactory)),
      toolPath(std::move(toolPath)),
      fixedConfigurationPath(std::move(configurationPath)) {}

std::string cLinuxDataStore::configurationPath() const {
    return fixedConfigurationPath.empty() ? qx561x::cIniDataStore::configurationFilePath()
                                          : fixedConfigurationPath;
}

std::unique_ptr<iReadScope> cLinuxDataStore::beginReadScope() {
    const std::thread::id thread = std::this_thread::get_id();
    std::lock_guard<std::mutex> guard(momentsMutex);
    if (!moments.emplace(thread, std::make_shared<Moment>()).second) return nullptr;  // nested
    return std::make_unique<Scope>(*this, thread);
}

std::shared_ptr<cLinuxDataStore::Moment> cLinuxDataStore::currentMoment() {
    std::lock_guard<std::mutex> guard(momentsMutex);
    const auto found = moments.find(std::this_thread::get_id());
    return found == moments.end() ? nullptr : found->second;
}

std::vector<std::string> cLinuxDataStore::portsOf(const std::string& devicePath, Moment* moment) {
    if (!moment) return enumeratorFactory->createPortEnumerator()->enumeratePorts(devicePath);
    const auto found = moment->ports.find(devicePath);
    if (found != moment->ports.end()) return found->second;
    std::vector<std::string> ports = enumeratorFactory->createPortEnumerator()->enumeratePorts(devicePath);
    moment->ports.emplace(devicePath, ports);
    return ports;
}

std::shared_ptr<const qx561x::cIniDataStore> cLinuxDataStore::configuration(Moment* moment) {
    if (moment && moment->configuration) return moment->configuration;
    std::shared_ptr<const qx561x::cIniDataStore> loaded = configurationCache.load(configurationPath());
    if (moment) moment->configuration = loaded;
    return loaded;
}

std::vector<std::string> cLinuxDataStore::listItemNames() {
    const std::shared_ptr<Moment> moment = currentMoment();
    std::vector<std::string> names;
    const std::vector<std::string> devices =
        enumeratorFactory->createDeviceEnumerator()->enumerateDevices();
    for (const std::string& device : devices) {
        names.push_back(makeDeviceName(device));
        for (const std::string& port : portsOf(device, moment.get())) names.push_back(makePortName(port));
    }
    return names;
}

tDeviceInfo cLinuxDataStore::getDeviceInfo(const std::string& itemName) {
    const std::shared_ptr<Moment> moment = currentMoment();
    if (moment) {
        const auto found = moment->deviceInfo.find(itemName);
        if (found != moment->deviceInfo.end()) return found->second;
    }
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
    if (moment) moment->deviceInfo.emplace(itemName, info);
    return info;
}

tPortInfo cLinuxDataStore::getPortInfo(const std::string& itemName) {
    const std::shared_ptr<Moment> moment = currentMoment();
    if (!moment) return readPortInfo(itemName, nullptr);
    const auto found = moment->portInfo.find(itemName);
    if (found != moment->portInfo.end()) return found->second;
    tPortInfo info = readPortInfo(itemName, moment.get());
    moment->portInfo.emplace(itemName, info);
    return info;
}

tPortInfo cLinuxDataStore::readPortInfo(const std::string& itemName, Moment* moment) {
    const std::string portName = portIdFromName(itemName);
    const qx561x::BoardAccessorSource board = [this, moment](const std::string& devicePath) {
        BoardReading& reading = moment->boards[devicePath];
        if (!reading.accessor)
            reading.accessor = propertyAccessorFactory->createDevicePropertyAccessor(devicePath);
        return std::unique_ptr<qx561x::iDevicePropertyAccessor>(std::make_unique<SharedBoard>(reading));
    };
    auto port = moment ? propertyAccessorFactory->createPortPropertyAccessor(
                             portName, board, std::make_unique<MomentEnumerators>(*this, *moment))
                       : propertyAccessorFactory->createPortPropertyAccessor(portName);
    const std::string identifier = port->getPortIdentifier();
    const std::shared_ptr<const qx561x::cIniDataStore> loaded = configuration(moment);
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
    pid_t waited = -1;
    do {
        waited = ::waitpid(child, &status, 0);
    } while (waited < 0 && errno == EINTR);
    if (waited != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) raiseToolFailed();
}

}  // namespace qx561xsae
