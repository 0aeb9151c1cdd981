// SPDX-License-Identifier: MIT
#include "qx561xsae/cConfigurationMonitor.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

#include "platform/qxerr/Exception.h"
#include "qx561xsae/ItemNames.h"
#include "qx561xsae/PluginTrace.h"
#include "sysapicpp/HResultException.h"

namespace qx561xsae {
namespace {

constexpr char kModule[] = "qx561xsae/cConfigurationMonitor";
constexpr int32_t kNoDataStore = 220;
constexpr int32_t kNoItemCache = 225;
constexpr int32_t kNoNotificationHandler = 230;

// A wait that keeps failing is retried at growing intervals instead of in a busy loop.
constexpr std::chrono::milliseconds kFirstBackOff{100};
constexpr std::chrono::milliseconds kLastBackOff{5000};
// Watching the directory or its parent, while the directory comes and goes in between.
constexpr int kArmAttempts = 8;
// The directory monitor's indexes: the configuration directory (or its parent), /dev.
constexpr uint32_t kConfigurationWatch = 0;
constexpr uint32_t kDevicesWatch = 1;
constexpr char kPortNodePrefix[] = "ttyQX561xPort";

bool isPortNode(const std::string& name) {
    return name.compare(0, sizeof kPortNodePrefix - 1, kPortNodePrefix) == 0;
}

std::string parentOf(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool isDirectory(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The last listing that could be read, and every port's record read with it. A port whose
// record could not be read keeps the record of an earlier listing, if any.
struct Listing {
    bool taken = false;
    std::vector<std::string> names;
    std::map<std::string, tPortInfo> ports;
};

struct Differences {
    std::vector<std::string> added;
    std::vector<std::string> removed;
    std::vector<std::string> changed;
};

// Reads the ports of names; old supplies the records of those that cannot be read now.
// changed (may be null) receives the ports present in both whose record differs.
std::map<std::string, tPortInfo> readPorts(iSerialDataStore& dataStore,
                                           const std::vector<std::string>& names,
                                           const std::map<std::string, tPortInfo>& old,
                                           std::vector<std::string>* changed) {
    std::map<std::string, tPortInfo> ports;
    for (const std::string& name : names) {
        if (!isPortName(name)) continue;
        const auto before = old.find(name);
        try {
            tPortInfo now = dataStore.getPortInfo(name);
            if (changed && before != old.end() && before->second != now) changed->push_back(name);
            ports.emplace(name, std::move(now));
        } catch (...) {
            if (before != old.end()) ports.emplace(name, before->second);
        }
    }
    return ports;
}

Differences compare(const Listing& known, Listing& next, iSerialDataStore& dataStore) {
    Differences found;
    const std::set<std::string> before(known.names.begin(), known.names.end());
    const std::set<std::string> after(next.names.begin(), next.names.end());
    std::vector<std::string> common;
    for (const std::string& name : next.names)
        (before.count(name) ? common : found.added).push_back(name);
    for (const std::string& name : known.names)
        if (!after.count(name)) found.removed.push_back(name);
    next.ports = readPorts(dataStore, common, known.ports, &found.changed);
    for (auto& [name, info] : readPorts(dataStore, found.added, {}, nullptr))
        next.ports.emplace(name, std::move(info));
    return found;
}

void report(int32_t type, const std::vector<std::string>& names,
            sysapicpp::ItemCacheInterface& itemCache,
            sysapicpp::NotificationHandler& notificationHandler) {
    if (names.empty()) return;
    itemCache.reportChange(type, names);
    notificationHandler.notify(type, names);
}

}  // namespace

cConfigurationMonitor::cConfigurationMonitor(
    const std::string& directory, std::shared_ptr<iSerialDataStore> dataStore,
    std::shared_ptr<sysapicpp::ItemCacheInterface> itemCache,
    std::shared_ptr<sysapicpp::NotificationHandler> notificationHandler,
    const std::string& deviceDirectory)
    : path(directory),
      parent(parentOf(directory)),
      devices(deviceDirectory),
      directoryMonitor(std::vector<std::string>{}),
      backOff(kFirstBackOff) {
    if (!dataStore) throw sysapicpp::FailException(kModule, kNoDataStore);
    if (!itemCache) throw sysapicpp::FailException(kModule, kNoItemCache);
    if (!notificationHandler) throw sysapicpp::FailException(kModule, kNoNotificationHandler);
    if (!arm()) throw qxerr::Exception(failure);
    watchDevices();
    thread = std::thread(&cConfigurationMonitor::run, this, std::move(dataStore),
                         std::move(itemCache), std::move(notificationHandler));
}

cConfigurationMonitor::~cConfigurationMonitor() {
    {
        std::lock_guard<std::mutex> guard(stopMutex);
        stopping = true;
    }
    stopSignal.notify_all();
    directoryMonitor.cancelWait();
    thread.join();
}

void cConfigurationMonitor::run(std::shared_ptr<iSerialDataStore> dataStore,
                                std::shared_ptr<sysapicpp::ItemCacheInterface> itemCache,
                                std::shared_ptr<sysapicpp::NotificationHandler> notificationHandler) {
    // Nothing here may end the host process: every failure leaves the last listing as it
    // was and the thread waits for the next change.
    Listing known;
    auto pass = [&] {
        // One read of each board and of the file serves the listing and every record.
        const std::unique_ptr<iReadScope> scope = dataStore->beginReadScope();
        Listing next;
        next.taken = true;
        next.names = dataStore->listItemNames();
        if (!known.taken) {
            // Nothing to compare with yet: this listing is the first one.
            next.ports = readPorts(*dataStore, next.names, {}, nullptr);
            known = std::move(next);
            return;
        }
        const Differences found = compare(known, next, *dataStore);
        known = std::move(next);
        report(sysapicpp::kItemsAdded, found.added, *itemCache, *notificationHandler);
        report(sysapicpp::kItemsRemoved, found.removed, *itemCache, *notificationHandler);
        report(sysapicpp::kItemsChanged, found.changed, *itemCache, *notificationHandler);
    };
    do {
        try {
            pass();
        } catch (...) {
        }
    } while (waitForChange());
}

void cConfigurationMonitor::checkWatching() {
    std::lock_guard<std::mutex> guard(failureMutex);
    if (failure.isFatal()) throw qxerr::Exception(failure);
}

bool cConfigurationMonitor::waitForChange() {
    for (;;) {
        if (watching == Watching::Nothing) {
            // The parent may be made again, a limit on watches raised.
            if (!pauseUnlessStopped(backOff)) return false;
            backOff = std::min(backOff * 2, kLastBackOff);
            if (arm() && watching == Watching::Directory) return true;
            continue;
        }
        if (!devicesWatched) watchDevices();
        qxerr::Status status;
        uint32_t index = 0;
        uint32_t mask = 0;
        std::string name;
        if (directoryMonitor.waitForChange(qxafa::DirectoryMonitor::kNoTimeLimit, &index, &mask,
                                           &name, status)) {
            backOff = kFirstBackOff;
            bool gone = false;
            const Event event = classify(index, mask, name, gone);
            // Other entries of /dev come and go all the time; they are none of ours.
            if (event == Event::OtherDevice) continue;
            const bool hotplug = event == Event::PortNode;
            if (!(hotplug ? settle(gone) : takeQueuedChanges(gone))) return false;
            if (watching == Watching::Directory && !gone && !replaced()) return true;
            if (watching == Watching::Parent && !gone && !isDirectory(path)) {
                if (hotplug) return true;
                continue;
            }
            const Watching before = watching;
            arm();
            // Made again: a pass reports what changed meanwhile. Just gone: its files went
            // with it.
            if (hotplug || watching == Watching::Directory || before == Watching::Directory)
                return true;
            continue;
        }
        if (!status.isFatal()) return false;  // stopped
        if (!pauseUnlessStopped(backOff)) return false;
        backOff = std::min(backOff * 2, kLastBackOff);
    }
}

cConfigurationMonitor::Event cConfigurationMonitor::classify(uint32_t index, uint32_t mask,
                                                             const std::string& name, bool& gone) {
    const bool pathGone = (mask & qxafa::DirectoryMonitor::kPathGone) != 0;
    // While /dev is not watched, its index may be that of a configuration watch given up.
    if (index == kDevicesWatch && devicesWatched) {
        if (pathGone) devicesWatched = false;  // watched again before the next wait
        return isPortNode(name) ? Event::PortNode : Event::OtherDevice;
    }
    if (index == kConfigurationWatch && pathGone) gone = true;
    return Event::Configuration;
}

// One file saved is half a dozen events. The pass about to start reads everything afresh,
// so it covers every change queued before it; a pass per event would only repeat it.
bool cConfigurationMonitor::takeQueuedChanges(bool& gone) {
    for (;;) {
        qxerr::Status status;
        uint32_t index = 0;
        uint32_t mask = 0;
        std::string name;
        if (directoryMonitor.waitForChange(0, &index, &mask, &name, status)) {
            classify(index, mask, name, gone);
            continue;
        }
        return status.isFatal();  // none left (timed out), or failed: pass; stopped: not
    }
}

bool cConfigurationMonitor::settle(bool& gone) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point limit = Clock::now() + kSettleLimit;
    Clock::time_point quiet = Clock::now() + kSettleQuiet;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::min(quiet, limit) - Clock::now());
        if (left.count() <= 0) return true;
        qxerr::Status status;
        uint32_t index = 0;
        uint32_t mask = 0;
        std::string name;
        if (directoryMonitor.waitForChange(static_cast<uint32_t>(left.count()), &index, &mask,
                                           &name, status)) {
            if (classify(index, mask, name, gone) == Event::PortNode)
                quiet = Clock::now() + kSettleQuiet;
            continue;
        }
        if (!status.isFatal()) return false;  // stopped
        // Timed out: the time is up, or nearly so (the wait counts whole milliseconds).
        // Failed: the pass goes ahead all the same.
        if (status.getCode() != qxerr::qxapalerr_operationTimedOut) return true;
    }
}

void cConfigurationMonitor::watchDevices() {
    qxerr::Status status;
    devicesWatched = directoryMonitor.watch(kDevicesWatch, devices,
                                            qxafa::DirectoryMonitor::kEntriesComeAndGo, status);
    if (devicesWatched || devicesFailureSaid) return;
    devicesFailureSaid = true;
    traceLine("port nodes in " + devices + " cannot be watched; boards that come or go are " +
              "noticed at the next change in " + path + ": " + status.reportText());
}

bool cConfigurationMonitor::arm() {
    qxerr::Status status;
    for (int attempt = 0; attempt < kArmAttempts; ++attempt) {
        status = qxerr::Status();
        if (isDirectory(path)) {
            if (directoryMonitor.watch(0, path, status)) {
                struct stat now {};
                if (::stat(path.c_str(), &now) == 0) watched = {now.st_dev, now.st_ino};
                setWatching(Watching::Directory);
                return true;
            }
            if (isDirectory(path)) break;  // there, and yet it cannot be watched
            continue;
        }
        if (!directoryMonitor.watch(0, parent, status)) break;
        if (!isDirectory(path)) {
            setWatching(Watching::Parent);
            return true;
        }
        // Made while the parent's watch was set up: watch the directory itself.
    }
    if (!status.isFatal()) {
        // It kept coming and going; the parent's watch stands and tells of the next change.
        setWatching(Watching::Parent);
        return true;
    }
    setFailed(std::move(status));
    return false;
}

void cConfigurationMonitor::setWatching(Watching now) {
    const Watching before = std::exchange(watching, now);
    const bool wasFailed = [this] {
        std::lock_guard<std::mutex> guard(failureMutex);
        return std::exchange(failure, qxerr::Status()).isFatal();
    }();
    const bool again = armedBefore && (before != now || wasFailed);
    armedBefore = true;
    if (now == Watching::Parent && (before != now || wasFailed))
        traceLine("configuration directory " + path + " does not exist; watching " + parent +
                  " until it is made");
    else if (now == Watching::Directory && again)
        traceLine("configuration directory " + path + " is watched again");
}

void cConfigurationMonitor::setFailed(qxerr::Status status) {
    watching = Watching::Nothing;
    std::lock_guard<std::mutex> guard(failureMutex);
    if (failure.isFatal()) return;  // said already
    failure = std::move(status);
    traceLine("configuration directory " + path + " cannot be watched, nor " + parent +
              "; plug-in calls fail until it can be: " + failure.reportText());
}

bool cConfigurationMonitor::replaced() const {
    struct stat now {};
    return ::stat(path.c_str(), &now) != 0 || !(Identity{now.st_dev, now.st_ino} == watched);
}

bool cConfigurationMonitor::pauseUnlessStopped(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> guard(stopMutex);
    return !stopSignal.wait_for(guard, pause, [this] { return stopping; });
}

}  // namespace qx561xsae
