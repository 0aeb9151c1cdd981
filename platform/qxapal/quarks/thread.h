// SPDX-License-Identifier: MIT
#pragma once
// One worker thread with explicit scheduling and a name of its own.

#include <pthread.h>

#include "platform/qxapal/tStatus.h"

namespace qxapal {

class tThreadController {
public:
    using tEntry = void (*)(tThreadController& self, void* argument);

    tThreadController() = default;
    // Joins a thread that is still joinable.
    ~tThreadController();
    tThreadController(const tThreadController&) = delete;
    tThreadController& operator=(const tThreadController&) = delete;

    // Starts entry(*this, argument) on a new thread: SCHED_RR at `priority` when it is
    // 1 or more, else SCHED_OTHER. The thread names itself `name` (the kernel keeps 15
    // characters). Failures set qxapalerr_osFault (or qxapalerr_memoryFull for the name
    // copy) and return false. Does nothing once status holds an error.
    bool start(tEntry entry, void* argument, int priority, const char* name, tStatus* status);
    // Waits for the thread to end; does nothing when it is not joinable.
    void join();

    bool isStarted() const { return started_; }
    bool isJoinable() const { return joinable_; }
    // The stop flag belongs to the owner's protocol; the owner guards it.
    bool stopRequested() const { return stop_; }
    void requestStop() { stop_ = true; }

private:
    static void* run(void* self);

    pthread_t handle_{};
    bool started_ = false;
    bool joinable_ = false;
    char* name_ = nullptr;  // released by the thread once it has named itself
    tEntry entry_ = nullptr;
    void* argument_ = nullptr;
    bool stop_ = false;
};

}  // namespace qxapal
