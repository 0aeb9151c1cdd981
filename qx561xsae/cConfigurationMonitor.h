// SPDX-License-Identifier: MIT
#pragma once
// Keeps the item cache and the host informed: a thread sleeps on the configuration
// directory and on the port nodes in /dev and, after every change there, lists boards and
// ports again and reports what was added, removed or changed.

#include <sys/types.h>

#include <chrono>
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
    // Where the kernel makes and removes the port nodes as boards come and go.
    static constexpr const char* kDeviceDirectory = "/dev";
    // A board's nodes come one after another: a pass waits until none has come for this
    // long, so that it sees the whole board...
    static constexpr std::chrono::milliseconds kSettleQuiet{100};
    // ...yet it starts this long after the first at the latest.
    static constexpr std::chrono::milliseconds kSettleLimit{500};

    // Watches directory and starts the thread. A directory that does not exist (yet) is
    // waited for, watching its parent, and said so on the trace; qxerr::Exception when
    // neither can be watched. FailException for a null collaborator. Port nodes that come
    // and go in deviceDirectory start a pass too; when it cannot be watched, the trace says
    // so and boards are noticed at the next change of configuration.
    cConfigurationMonitor(const std::string& directory, std::shared_ptr<iSerialDataStore> dataStore,
                          std::shared_ptr<sysapicpp::ItemCacheInterface> itemCache,
                          std::shared_ptr<sysapicpp::NotificationHandler> notificationHandler,
                          const std::string& deviceDirectory = kDeviceDirectory);
    // Stops the thread, waiting or not, and joins it.
    ~cConfigurationMonitor();

    cConfigurationMonitor(const cConfigurationMonitor&) = delete;
    cConfigurationMonitor& operator=(const cConfigurationMonitor&) = delete;

    // qxerr::Exception with the reason while nothing can be watched: the host would
    // otherwise hear of no change at all and never know.
    void checkWatching();

private:
    class Snapshot;
    enum class Watching { Nothing, Directory, Parent };
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const Identity& other) const {
            return device == other.device && inode == other.inode;
        }
    };

    void run(std::shared_ptr<iSerialDataStore> dataStore,
             std::shared_ptr<sysapicpp::ItemCacheInterface> itemCache,
             std::shared_ptr<sysapicpp::NotificationHandler> notificationHandler);
    // Waits until a pass is due; false once stopped. A failing wait backs off before it
    // returns; so does every attempt to watch again while nothing can be watched.
    bool waitForChange();
    // Reads the changes already queued, noting whether the watched directory went; false
    // when stopped meanwhile.
    bool takeQueuedChanges(bool& gone);
    // The same while a board's port nodes come and go (kSettleQuiet, kSettleLimit).
    bool settle(bool& gone);
    enum class Event { Configuration, PortNode, OtherDevice };
    // What an event is about; gone is set when it tells that the configuration directory
    // went.
    Event classify(uint32_t index, uint32_t mask, const std::string& name, bool& gone);
    void watchDevices();
    bool pauseUnlessStopped(std::chrono::milliseconds pause);
    // Watches the directory, or its parent while the directory does not exist; false, and
    // the reason kept for checkWatching, when neither can be watched.
    bool arm();
    void setWatching(Watching now);
    void setFailed(qxerr::Status status);
    // The watch is on another directory than the one the path names now.
    bool replaced() const;

    std::string path;
    std::string parent;
    std::string devices;
    qxafa::DirectoryMonitor directoryMonitor;
    bool devicesWatched = false;
    bool devicesFailureSaid = false;
    Watching watching = Watching::Nothing;
    bool armedBefore = false;
    Identity watched;
    std::mutex failureMutex;
    qxerr::Status failure;
    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopping = false;
    std::chrono::milliseconds backOff;
    std::thread thread;
};

}  // namespace qx561xsae
