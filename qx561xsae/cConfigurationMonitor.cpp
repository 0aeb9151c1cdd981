// SPDX-License-Identifier: MIT
#include "qx561xsae/cConfigurationMonitor.h"

#include <algorithm>
#include <set>
#include <utility>

#include "qx561xsae/ItemNames.h"
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
    std::shared_ptr<sysapicpp::NotificationHandler> notificationHandler)
    : path(directory), directoryMonitor(path), backOff(kFirstBackOff) {
    if (!dataStore) throw sysapicpp::FailException(kModule, kNoDataStore);
    if (!itemCache) throw sysapicpp::FailException(kModule, kNoItemCache);
    if (!notificationHandler) throw sysapicpp::FailException(kModule, kNoNotificationHandler);
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

bool cConfigurationMonitor::waitForChange() {
    for (;;) {
        qxerr::Status status;
        if (directoryMonitor.waitForChange(nullptr, status)) {
            backOff = kFirstBackOff;
            return takeQueuedChanges();
        }
        if (!status.isFatal()) return false;  // stopped
        if (!pauseUnlessStopped(backOff)) return false;
        backOff = std::min(backOff * 2, kLastBackOff);
    }
}

// One file saved is half a dozen events. The pass about to start reads everything afresh,
// so it covers every change queued before it; a pass per event would only repeat it.
bool cConfigurationMonitor::takeQueuedChanges() {
    for (;;) {
        qxerr::Status status;
        if (directoryMonitor.waitForChange(0, nullptr, status)) continue;
        return status.isFatal();  // none left (timed out), or failed: pass; stopped: not
    }
}

bool cConfigurationMonitor::pauseUnlessStopped(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> guard(stopMutex);
    return !stopSignal.wait_for(guard, pause, [this] { return stopping; });
}

}  // namespace qx561xsae
