// SPDX-License-Identifier: MIT
#pragma once
// What an expert built on the item cache shares: the task queue with its workers, the
// asynchronous notification handler, and the property query that may finish in the
// background.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/qx/dsc/Noncopyable.h"
#include "sysapicpp/NotificationHandler.h"
#include "sysapicpp/TaskQueues.h"
#include "sysapicpp/cache/ItemCacheInterface.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace sysapicpp {

// The background task of a query: reads the tags, then tells the host the item changed,
// whether or not a value did.
struct AsyncAttributeUpdater {
    // Shared, not borrowed: the task may still be queued when the expert lets go of it.
    std::shared_ptr<NotificationHandler> handler;
    ItemRef item;
    std::vector<uint32_t> tags;

    void operator()() const;
};

class ItemCacheExpert : private qx::dsc::Noncopyable {
public:
    // Starts the two workers named threadName (qxerr::Exception when they cannot start),
    // then the asynchronous handler over hostHandler and the queue. hostHandler must
    // outlive this object.
    ItemCacheExpert(std::shared_ptr<ItemCacheInterface> cache, NotificationHandler& hostHandler,
                    const char* threadName);
    // Releases the handler, then destroys the queue: queued tasks run, workers are joined.
    ~ItemCacheExpert();

    const std::shared_ptr<NotificationHandler>& notificationHandler() const {
        return notificationHandler_;
    }
    TaskQueue& taskQueue() { return taskQueue_; }

    // The item's bag after reloading it. Tags whose values are stale are read in the
    // background (allowPending: RefreshPendingException now, a change notification
    // later) or here (a change notification when a value changed). The caller refreshes
    // the cache first.
    PropertyBagHandle getPropertiesOfItemByTags(const std::string& name,
                                                const std::vector<uint32_t>& tags,
                                                bool allowPending);

private:
    std::shared_ptr<ItemCacheInterface> cache_;
    AutoTaskQueue taskQueue_;
    std::shared_ptr<NotificationHandler> notificationHandler_;
};

}  // namespace sysapicpp
