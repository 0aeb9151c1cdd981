// SPDX-License-Identifier: MIT
#pragma once
// Keeps the item cache and the host informed: a thread sleeps on the configuration
// directory and, after every change there, lists boards and ports again and reports what
// was added, removed or changed.

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/qxafa/DirectoryMonitor.h"
#include "qx561xsae/iSerialDataStore.h"
#include "sysapicpp/NotificationHandler.h"
#include "sysapicpp/cache/ItemCacheInterface.h"

namespace qx561xsae {

class cConfigurationMonitor {
public:
    // Watches directory (qxerr::Exception when it cannot be watched) and starts the thread;
    // FailException for a null collaborator.
    cConfigurationMonitor(const std::string& directory, std::shared_ptr<iSerialDataStore> dataStore,
                          std::shared_ptr<sysapicpp::ItemCacheInterface> itemCache,
                          std::shared_ptr<sysapicpp::NotificationHandler> notificationHandler);
    // Stops the thread, waiting or not, and joins it.
    ~cConfigurationMonitor();

    cConfigurationMonitor(const cConfigurationMonitor&) = delete;
    cConfigurationMonitor& operator=(const cConfigurationMonitor&) = delete;

private:
    class Snapshot;

    void run(std::shared_ptr<iSerialDataStore> dataStore,
             std::shared_ptr<sysapicpp::ItemCacheInterface> itemCache,
             std::shared_ptr<sysapicpp::NotificationHandler> notificationHandler);
    // Waits for a change; false once stopped. A failing wait backs off before it returns.
    bool waitForChange();
    // Reads the changes already queued; false when stopped meanwhile.
    bool takeQueuedChanges();
    bool pauseUnlessStopped(std::chrono::milliseconds pause);

    std::string path;
    qxafa::DirectoryMonitor directoryMonitor;
    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;
    std::chrono::milliseconds backOff;
    std::thread thread;
};

}  // namespace qx561xsae
