// SPDX-License-Identifier: MIT
#include "qx561xsae/cLinuxDataStore.h"

#include <exception>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "platform/qx/dsc/Utf8.h"
#include "platform/qxafa/ToolRunner.h"
#include "platform/qxerr/Exception.h"
#include "qx561xsae/AuditLog.h"
#include "qx561xsae/ItemNames.h"
#include "qx561xsae/PluginTrace.h"
#include "shared/qx561x/ConfigurationTool.h"
#include "shared/qx561x/PortSettings.h"
#include "shared/qx561x/cIniDataStore.h"

namespace qx561xsae {
namespace {

constexpr qxerr::SourceLocation kToolFailed{"qx561xsae/cLinuxDataStore", 163, qxerr::kComponent,
                                            "qxapalerr_softwareFaultAPALInternalUseOnly"};
constexpr char kToolFailedMessage[] = "error occurred when invoking qxserialconfig";

uint32_t reportedMode(uint32_t stored) {
    return qx561x::findRs485Mode(stored) ? stored : kRs485ModeOutOfRange;
}

// The identifier ends in ":" and the port number (a slot path may hold ":", the number
// cannot): reading it back spares a second walk of the board's ports.
uint32_t portNumberOf(const std::string& identifier) {
    return static_cast<uint32_t>(std::stoul(identifier.substr(identifier.rfind(':') + 1)));
}

// A board as the ports of one moment see it: read once, whichever port asks.
struct BoardReading {
    std::unique_ptr<qx561x::iDevicePropertyAccessor> accessor;  // set before it is shared
    std::mutex mutex;
    std::optional<std::string> slotPath;
};

class SharedBoard : public qx561x::iDevicePropertyAccessor {
public:
    explicit SharedBoard(std::shared_ptr<BoardReading> board) : board_(std::move(board)) {}
    std::string getDevicePath() override { return board_->accessor->getDevicePath(); }
    std::string getPciSlotPath() override {
        std::lock_guard<std::mutex> guard(board_->mutex);
        if (!board_->slotPath) board_->slotPath = board_->accessor->getPciSlotPath();
        return *board_->slotPath;
    }
    uint32_t getPciDeviceId() override { return board_->accessor->getPciDeviceId(); }
    uint32_t getPciBusNumber() override { return board_->accessor->getPciBusNumber(); }
    uint32_t getPciDeviceNumber() override { return board_->accessor->getPciDeviceNumber(); }
    uint32_t getPciFunctionNumber() override { return board_->accessor->getPciFunctionNumber(); }
    std::string getSerialNumber() override { return board_->accessor->getSerialNumber(); }
    std::string getModelName() override { return board_->accessor->getModelName(); }
    std::string getDescription() override { return board_->accessor->getDescription(); }
    int32_t getPortCount() override { return board_->accessor->getPortCount(); }
    uint32_t getBusType() override { return board_->accessor->getBusType(); }

private:
    std::shared_ptr<BoardReading> board_;
};

}  // namespace

// What the scopes of one moment have read. The data store's first scope (the monitor's
// first pass, or a host's first listing) shares its moment with the scopes begun while it
// lasts, so that a new host and the monitor read the boards once between them: whoever
// asks first reads, and whoever asks meanwhile waits for that reading. A reading that
// failed is not kept (those waiting for it get its failure).
struct cLinuxDataStore::Moment {
    // Not a promise and future: setting a promise makes a system call even when nobody
    // waits, and a listing recalls a value for every port.
    // Each with its own signal: one for all woke every waiter at every reading settled.
    template <class T>
    struct Slot {
        bool settled = false;
        std::optional<T> value;
        std::exception_ptr failure;
        std::condition_variable done;
    };
    template <class T>
    using Kept = std::map<std::string, std::shared_ptr<Slot<T>>>;

    template <class T, class Read>
    T recall(Kept<T>& kept, const std::string& key, Read read) {
        std::shared_ptr<Slot<T>> slot;
        {
            std::unique_lock<std::mutex> guard(mutex);
            const auto found = kept.find(key);
            if (found != kept.end()) {
                slot = found->second;
                slot->done.wait(guard, [&] { return slot->settled; });
                if (slot->failure) std::rethrow_exception(slot->failure);
                return *slot->value;
            }
            slot = std::make_shared<Slot<T>>();
            kept.emplace(key, slot);
        }
        try {
            T value = read();
            {
                std::lock_guard<std::mutex> guard(mutex);
                slot->value = value;
                slot->settled = true;
            }
            slot->done.notify_all();
            return value;
        } catch (...) {
            {
                std::lock_guard<std::mutex> guard(mutex);
                slot->failure = std::current_exception();
                slot->settled = true;
                kept.erase(key);
            }
            slot->done.notify_all();
            throw;
        }
    }

    std::mutex mutex;
    Kept<std::vector<std::string>> names;                     // the item names, under ""
    Kept<std::vector<std::string>> devices;                   // the one listing, under ""
    Kept<std::shared_ptr<const qx561x::cIniDataStore>> configuration;  // under ""
    Kept<std::vector<std::string>> ports;                     // by board path
    Kept<std::shared_ptr<BoardReading>> boards;               // by board path
    Kept<tPortInfo> portInfo;                                 // by item name
    Kept<tDeviceInfo> deviceInfo;                             // by item name
};

class cLinuxDataStore::Scope : public iReadScope {
public:
    Scope(cLinuxDataStore& store, std::thread::id thread, bool first)
        : store_(store), thread_(thread), first_(first) {}
    ~Scope() override {
        std::lock_guard<std::mutex> guard(store_.momentsMutex);
        store_.moments.erase(thread_);
        if (first_) store_.firstMoment.reset();
    }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

private:
    cLinuxDataStore& store_;
    std::thread::id thread_;
    bool first_;
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
    std::string toolPath, std::string configurationPath, std::chrono::milliseconds toolTimeLimit,
    std::string systemLogPath)
    : enumeratorFactory(std::move(enumeratorFactory)),
      propertyAccessorFactory(std::move(propertyAccessorFactory)),
      toolPath(std::move(toolPath)),
      fixedConfigurationPath(std::move(configurationPath)),
      toolTimeLimit(toolTimeLimit),
      systemLogPath(std::move(systemLogPath)) {}

std::string cLinuxDataStore::configurationPath() const {
    return fixedConfigurationPath.empty() ? qx561x::cIniDataStore::configurationFilePath()
                                          : fixedConfigurationPath;
}

std::unique_ptr<iReadScope> cLinuxDataStore::beginReadScope() {
    const std::thread::id thread = std::this_thread::get_id();
    std::lock_guard<std::mutex> guard(momentsMutex);
    if (moments.count(thread)) return nullptr;  // nested: part of the outer scope
    const bool first = !firstScopeBegun;
    firstScopeBegun = true;
    std::shared_ptr<Moment> moment = firstMoment ? firstMoment : std::make_shared<Moment>();
    if (first) firstMoment = moment;
    moments.emplace(thread, moment);
    return std::make_unique<Scope>(*this, thread, first);
}

std::shared_ptr<cLinuxDataStore::Moment> cLinuxDataStore::currentMoment() {
    std::lock_guard<std::mutex> guard(momentsMutex);
    const auto found = moments.find(std::this_thread::get_id());
    return found == moments.end() ? nullptr : found->second;
}

std::vector<std::string> cLinuxDataStore::portsOf(const std::string& devicePath, Moment* moment) {
    const auto read = [&] { return enumeratorFactory->createPortEnumerator()->enumeratePorts(devicePath); };
    return moment ? moment->recall(moment->ports, devicePath, read) : read();
}

std::shared_ptr<const qx561x::cIniDataStore> cLinuxDataStore::configuration(Moment* moment) {
    const auto read = [&] {
        waitForSavesUnderWay();
        return configurationCache.load(configurationPath());
    };
    return moment ? moment->recall(moment->configuration, "", read) : read();
}

// A new host's first listing and the monitor's first pass list at the same time: read
// board by board, each waited in turn for the board the other was reading. The whole
// listing is one reading of the moment instead, so one waits once.
std::vector<std::string> cLinuxDataStore::listItemNames() {
    const std::shared_ptr<Moment> moment = currentMoment();
    const auto read = [&] { return readItemNames(moment.get()); };
    return moment ? moment->recall(moment->names, "", read) : read();
}

std::vector<std::string> cLinuxDataStore::readItemNames(Moment* moment) {
    const auto read = [&] { return enumeratorFactory->createDeviceEnumerator()->enumerateDevices(); };
    const std::vector<std::string> devices = moment ? moment->recall(moment->devices, "", read) : read();
    std::vector<std::string> names;
    for (const std::string& device : devices) {
        if (!canBeNamed(device, "board")) continue;
        names.push_back(makeDeviceName(device));
        for (const std::string& port : portsOf(device, moment))
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
    const std::shared_ptr<Moment> moment = currentMoment();
    const auto read = [&] { return readDeviceInfo(itemName); };
    return moment ? moment->recall(moment->deviceInfo, itemName, read) : read();
}

tDeviceInfo cLinuxDataStore::readDeviceInfo(const std::string& itemName) {
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
    const std::shared_ptr<Moment> moment = currentMoment();
    const auto read = [&] { return readPortInfo(itemName, moment.get()); };
    return moment ? moment->recall(moment->portInfo, itemName, read) : read();
}

tPortInfo cLinuxDataStore::readPortInfo(const std::string& itemName, Moment* moment) {
    const std::string portName = portIdFromName(itemName);
    const qx561x::BoardAccessorSource board = [moment](const std::string& devicePath,
                                                       const auto& make) {
        const std::shared_ptr<BoardReading> reading = moment->recall(moment->boards, devicePath, [&] {
            auto made = std::make_shared<BoardReading>();
            made->accessor = make();
            return made;
        });
        std::unique_ptr<qx561x::iDevicePropertyAccessor> shared;
        if (reading->accessor) shared = std::make_unique<SharedBoard>(reading);
        return shared;
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
    tAuditedPort audited;
    audited.portName = portIdFromName(itemName);
    {
        const auto port = propertyAccessorFactory->createPortPropertyAccessor(audited.portName);
        audited.identifier = port->getPortIdentifier();
        audited.node = port->getPortDevicePath();
    }
    qx561x::cIniDataStore store;
    store.setFifoRxDepth(audited.identifier, info.rxFifoDepth);
    store.setFifoTxDepth(audited.identifier, info.txFifoDepth);
    store.setRs485TransceiverMode(audited.identifier, info.rs485TransceiverMode);
    const std::string path = configurationPath();
    const std::optional<tStoredSettings> before = storedSettings(audited.identifier);
    {
        const SaveUnderWay saving(*this);
        store.save(path);
    }
    // Stored, whatever becomes of the tool's run.
    logStoredChanges(systemLogPath.c_str(), audited, before, info);
    runTool(audited.portName, path);
}

void cLinuxDataStore::logRefusal(const tRefusal& refusal) noexcept {
    try {
        logRefusedChange(systemLogPath.c_str(), {portIdFromName(refusal.itemName), refusal.node, {}},
                         refusal);
    } catch (...) {
        // The refusal stands as the host is told it, logged or not.
    }
}

// What the file (with its defaults) holds for the port before a save: the "before" of
// the system log's lines. Empty when it cannot be read; the save then says why.
std::optional<tStoredSettings> cLinuxDataStore::storedSettings(const std::string& identifier) {
    try {
        const std::shared_ptr<const qx561x::cIniDataStore> stored = configuration(nullptr);
        return tStoredSettings{stored->getFifoRxDepth(identifier), stored->getFifoTxDepth(identifier),
                               stored->getRs485TransceiverMode(identifier)};
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

cLinuxDataStore::SaveUnderWay::SaveUnderWay(cLinuxDataStore& store) : store_(store) {
    std::lock_guard<std::mutex> guard(store_.savesMutex);
    id_ = ++store_.savesBegun;
    store_.savesUnderWay.insert(id_);
}

cLinuxDataStore::SaveUnderWay::~SaveUnderWay() {
    {
        std::lock_guard<std::mutex> guard(store_.savesMutex);
        store_.savesUnderWay.erase(id_);
    }
    store_.savesEnded.notify_all();
}

// A save replaces the file by renaming a new one over it, so a reader that opened the file
// meanwhile would wait for the saver's lock and then read what it replaced; the monitor,
// woken by the save's first events, would then take a pass to find nothing and a second
// one to find the change. Only saves that began before the wait are waited for.
void cLinuxDataStore::waitForSavesUnderWay() {
    std::unique_lock<std::mutex> guard(savesMutex);
    const uint64_t begun = savesBegun;
    savesEnded.wait(guard, [&] { return savesUnderWay.empty() || *savesUnderWay.begin() > begun; });
}

// The tool writes to the host's standard streams, as it would from a shell.
void cLinuxDataStore::runTool(const std::string& portName, const std::string& path) const {
    const qxafa::ToolRunner runner(toolTimeLimit, qxafa::ToolRunner::Output::Inherited);
    const qxafa::ToolRunner::Result run =
        runner.run(qx561x::configurationToolArguments(toolPath, portName, path));
    if (run.ending == qxafa::ToolRunner::Ending::Exited && run.value == 0) return;
    qxerr::Raise failure(qxerr::qxapalerr_softwareFaultAPALInternalUseOnly, kToolFailed);
    if (run.ending == qxafa::ToolRunner::Ending::NotStarted) failure.osError(run.value);
    failure.message(kToolFailedMessage).raise();
}

}  // namespace qx561xsae
