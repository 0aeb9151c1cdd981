// SPDX-License-Identifier: MIT
#include "sysapicpp/AsyncNotificationHandler.h"

#include "sysapicpp/TaskQueues.h"

namespace sysapicpp {

AsyncNotificationHandler::AsyncNotificationHandler(NotificationHandler& inner, TaskQueue& queue)
    : inner_(inner), queue_(queue) {}

HRESULT AsyncNotificationHandler::notify(int32_t type, const std::vector<std::string>& names) {
    if (names.empty() || !inner_.isListening()) return S_OK;
    queue_.submit(makeFunctorTask(NotifyWorkItem{&inner_, type, names}));
    return S_OK;
}

}  // namespace sysapicpp
