// SPDX-License-Identifier: MIT
#include "sysapicpp/cache/ItemCacheExpert.h"

#include <utility>

#include "platform/qxerr/Status.h"
#include "sysapicpp/AsyncNotificationHandler.h"
#include "sysapicpp/HResultException.h"

namespace sysapicpp {
namespace {

constexpr qxerr::SourceLocation kRefreshPending{"sysapicpp/cache/ItemCacheExpert", 121,
                                                qxerr::kComponent, "E_SYSAPI_REFRESH_PENDING"};

}  // namespace

void AsyncAttributeUpdater::operator()() const {
    item->updateTags(tags);
    handler->notify(kItemsChanged, item->getName());
}

ItemCacheExpert::ItemCacheExpert(std::shared_ptr<ItemCacheInterface> cache,
                                 NotificationHandler& hostHandler, const char* threadName)
    : cache_(std::move(cache)),
      taskQueue_(std::make_unique<ThreadedTaskQueue<2>>(threadName)),
      notificationHandler_(std::make_shared<AsyncNotificationHandler>(hostHandler, taskQueue_)) {}

ItemCacheExpert::~ItemCacheExpert() {
    notificationHandler_.reset();
    taskQueue_.shutdown();
}

PropertyBagHandle ItemCacheExpert::getPropertiesOfItemByTags(const std::string& name,
                                                             const std::vector<uint32_t>& tags,
                                                             bool allowPending) {
    const ItemRef item = cache_->getItem(name);
    item->invalidate();
    item->updateProperties();
    std::vector<uint32_t> stale;
    for (const uint32_t tag : tags) {
        if (item->getTagState(tag) == kTagStateStale) stale.push_back(tag);
    }
    if (!stale.empty()) {
        if (allowPending) {
            taskQueue_.submit(makeFunctorTask(
                AsyncAttributeUpdater{notificationHandler_, item, std::move(stale)}));
            throw RefreshPendingException(kRefreshPending.file, kRefreshPending.line,
                                          kRefreshPending.component);
        }
        if (item->updateTags(stale)) notificationHandler_->notify(kItemsChanged, item->getName());
    }
    return item->getPropertyBag();
}

}  // namespace sysapicpp
