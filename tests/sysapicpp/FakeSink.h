// SPDX-License-Identifier: MIT
#pragma once
// A host notification sink that records what it is told, from any thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/qx/dsc/HostString.h"
#include "platform/qx/dsc/Utf8.h"
#include "sysapicpp/HostInterfaces.h"

namespace sysapicpp::fake {

class FakeSink final : public IcxSysNotificationSink {
public:
    HRESULT QueryInterface(const IID&, void** out) override {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    uint32_t AddRef() override { return ++references; }
    uint32_t Release() override { return --references; }

    // Records "<type> <name> <name>...".
    HRESULT OnItemsChanged(IUnknown* sender, int32_t type, IcxSysEnumStringList* names) override {
        std::string line = std::to_string(type);
        wchar_t* name = nullptr;
        while (names->Next(1, &name, nullptr) == S_OK) {
            line += " " + qx::dsc::toUtf8(name);
            qx::dsc::freeHostString(name);
        }
        std::function<void()> hook;
        {
            // The hook is taken with the record: one set after a wait saw this
            // notification belongs to later ones.
            std::lock_guard<std::mutex> lock(mutex_);
            received_.push_back(line);
            senders_.push_back(sender);
            hook = onNotify_;
        }
        arrived_.notify_all();
        if (hook) hook();
        return result;
    }

    // What arrived once count notifications have (or after 10 s).
    std::vector<std::string> waitFor(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        arrived_.wait_for(lock, std::chrono::seconds(10),
                          [&] { return received_.size() >= count; });
        return received_;
    }
    std::vector<IUnknown*> senders() {
        std::lock_guard<std::mutex> lock(mutex_);
        return senders_;
    }

    // Runs after each later notification has been recorded.
    void setOnNotify(std::function<void()> hook) {
        std::lock_guard<std::mutex> lock(mutex_);
        onNotify_ = std::move(hook);
    }

    std::atomic<uint32_t> references{0};
    HRESULT result = S_OK;

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<std::string> received_;
    std::vector<IUnknown*> senders_;
    std::function<void()> onNotify_;
};

}  // namespace sysapicpp::fake
