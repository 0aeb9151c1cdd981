// SPDX-License-Identifier: MIT
#pragma once
// Delivers notifications to the host's sink on the calling thread.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/qxapal/CqxCS.h"
#include "sysapicpp/CQXComObject.h"
#include "sysapicpp/HostInterfaces.h"
#include "sysapicpp/NotificationHandler.h"

namespace sysapicpp {

class SyncNotificationHandler final : public NotificationHandler {
public:
    // sender: the object the sink is told the notification comes from (not counted).
    explicit SyncNotificationHandler(IUnknown* sender = nullptr);
    // Releases the sink.
    ~SyncNotificationHandler() override;
    SyncNotificationHandler(const SyncNotificationHandler&) = delete;
    SyncNotificationHandler& operator=(const SyncNotificationHandler&) = delete;

    void setSender(IUnknown* sender);
    // Holds a reference to the sink until it is replaced or cleared; null clears.
    void setSink(IcxSysNotificationSink* sink);
    void clearSink();

    // Never waits for a delivery in progress.
    bool isListening() override;

    using NotificationHandler::notify;
    // Calls the sink with the names, holding the handler's section so that deliveries
    // never overlap; the sink may set or clear the sink from inside. Returns the sink's
    // result, S_OK without a sink; exceptions are swallowed (E_FAIL, or E_OUTOFMEMORY).
    HRESULT notify(int32_t type, const std::vector<std::string>& names) override;

private:
    qxapal::CqxCS section_;
    QXComPtr<IcxSysNotificationSink> sink_;
    std::atomic<bool> listening_{false};
    IUnknown* sender_;
};

}  // namespace sysapicpp
