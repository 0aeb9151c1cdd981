// SPDX-License-Identifier: MIT
#include "sysapicpp/SyncNotificationHandler.h"

#include <new>
#include <utility>

#include "platform/qx/dsc/Utf8.h"
#include "sysapicpp/CQXComEnumOnSTL.h"

namespace sysapicpp {

SyncNotificationHandler::SyncNotificationHandler(IUnknown* sender) : sender_(sender) {}

SyncNotificationHandler::~SyncNotificationHandler() = default;

void SyncNotificationHandler::setSender(IUnknown* sender) {
    qxapal::CqxCSLock lock(section_);
    sender_ = sender;
}

void SyncNotificationHandler::setSink(IcxSysNotificationSink* sink) {
    QXComPtr<IcxSysNotificationSink> previous(sink);
    {
        qxapal::CqxCSLock lock(section_);
        std::swap(previous, sink_);
        listening_.store(static_cast<bool>(sink_));
    }
    // The old sink is released outside the section: its Release is host code.
}

void SyncNotificationHandler::clearSink() { setSink(nullptr); }

bool SyncNotificationHandler::isListening() { return listening_.load(); }

HRESULT SyncNotificationHandler::notify(int32_t type, const std::vector<std::string>& names) {
    qxapal::CqxCSLock lock(section_);
    if (!sink_) return S_OK;
    // Counted for the call: the sink may replace itself while it is being notified.
    const QXComPtr<IcxSysNotificationSink> sink = sink_;
    try {
        std::vector<std::wstring> wide;
        wide.reserve(names.size());
        for (const std::string& name : names) wide.push_back(qx::dsc::toWide(name));
        QXComPtr<IcxSysEnumStringList> enumerator;
        const HRESULT created =
            CcxSysEnumItemNamesSTL<>::create(std::move(wide), enumerator.receive());
        if (failed(created)) return created;
        return sink->OnItemsChanged(sender_, type, enumerator.get());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace sysapicpp
