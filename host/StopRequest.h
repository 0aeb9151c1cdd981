// SPDX-License-Identifier: MIT
#pragma once
// Asked for by the thread that takes SIGINT and SIGTERM; the command's thread looks at it
// wherever it waits, so that it can end early and shut the plug-in down in order.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qxhost {

// Thrown where a command gives up because it was asked to stop; it prints nothing.
struct Stopped {};

class StopRequest {
public:
    void request() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            requested_ = true;
        }
        changed_.notify_all();
    }

    bool requested() const {
        std::lock_guard<std::mutex> guard(mutex_);
        return requested_;
    }

    // Waits for the time or the request, whichever comes first; true when requested.
    template <class Rep, class Period>
    bool waitFor(const std::chrono::duration<Rep, Period>& time) const {
        std::unique_lock<std::mutex> guard(mutex_);
        return changed_.wait_for(guard, time, [this] { return requested_; });
    }

    // Throws Stopped when asked to stop.
    void check() const {
        if (requested()) throw Stopped{};
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool requested_ = false;
};

}  // namespace qxhost
