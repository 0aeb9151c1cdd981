// SPDX-License-Identifier: MIT
#pragma once
// Hands notifications to a task queue, which delivers them through another handler.

#include <cstdint>
#include <string>
#include <vector>

#include "sysapicpp/NotificationHandler.h"
#include "sysapicpp/Task.h"

namespace sysapicpp {

// The task that delivers one notification.
struct NotifyWorkItem {
    NotificationHandler* target;  // not owned; outlives the queue
    int32_t type;
    std::vector<std::string> names;

    void operator()() const { target->notify(type, names); }
};

class AsyncNotificationHandler final : public NotificationHandler {
public:
    // Both must outlive the handler and every task it submits.
    AsyncNotificationHandler(NotificationHandler& inner, TaskQueue& queue);

    using NotificationHandler::notify;
    // Queues the delivery; nothing is queued for no names or while nobody listens.
    // Always S_OK: the delivery's result is the queue's to drop.
    HRESULT notify(int32_t type, const std::vector<std::string>& names) override;
    bool isListening() override { return inner_.isListening(); }

private:
    NotificationHandler& inner_;
    TaskQueue& queue_;
};

}  // namespace sysapicpp
