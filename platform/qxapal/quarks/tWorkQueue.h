// SPDX-License-Identifier: MIT
#pragma once
// A FIFO of work items served by a fixed number of worker threads.

#include <cstddef>

#include "platform/qxapal/quarks/synchronization.h"
#include "platform/qxapal/quarks/thread.h"

namespace qxapal {

// A work item: list links and two callbacks. `run` returns the next item to run on the
// same worker, or null; an item may destroy itself in `run`. `takeOff` (may be null) is
// called under the queue mutex when a worker unlinks the item.
struct tWorkItem {
    using tTakeOff = void (*)(tWorkItem* item);
    using tRun = tWorkItem* (*)(tWorkItem* item);

    tWorkItem() = default;
    tWorkItem(tTakeOff takeOffCallback, tRun runCallback)
        : takeOff(takeOffCallback), run(runCallback) {}

    bool isLinked() const { return next != nullptr; }

    tWorkItem* next = nullptr;
    tWorkItem* prev = nullptr;
    tTakeOff takeOff = nullptr;
    tRun run = nullptr;
};

template <typename Mutex, std::size_t Workers>
class tWorkQueue {
public:
    // Starts the workers, each named threadName, SCHED_RR at priority when it is 1 or
    // more, else SCHED_OTHER. The mutex stays the owner's and must outlive the queue.
    // On failure the status says why and the queue has no workers: enqueue refuses.
    tWorkQueue(Mutex* mutex, int priority, const char* threadName, tStatus* status)
        : mutex_(mutex), workAvailable_(true, status), allExited_(true, status) {
        sentinel_.next = sentinel_.prev = &sentinel_;
        if (mutex_ == nullptr || (status != nullptr && status->isFatal()) ||
            !workAvailable_.isValid() || !allExited_.isValid()) {
            mutex_ = nullptr;
            return;
        }
        for (tThreadController& worker : workers_) {
            tLockGuard<Mutex> guard(*mutex_);
            if (!worker.start(&tWorkQueue::workerLoop, this, priority, threadName, status)) break;
            running_[runningCount_++] = &worker;
        }
        if (runningCount_ != Workers) {
            stopWorkers();
            mutex_ = nullptr;
        }
    }

    // Pending items still run; then both workers are joined.
    ~tWorkQueue() {
        if (mutex_ != nullptr) stopWorkers();
    }

    tWorkQueue(const tWorkQueue&) = delete;
    tWorkQueue& operator=(const tWorkQueue&) = delete;

    // Appends the item unless it is already linked; false when the queue has no workers.
    bool enqueue(tWorkItem* item) {
        if (mutex_ == nullptr || item == nullptr) return false;
        {
            tLockGuard<Mutex> guard(*mutex_);
            if (!item->isLinked()) {
                item->prev = sentinel_.prev;
                item->next = &sentinel_;
                sentinel_.prev->next = item;
                sentinel_.prev = item;
            }
        }
        workAvailable_.set();
        return true;
    }

    // The owner's mutex, or null when the workers could not be started.
    Mutex* mutex() const { return mutex_; }

private:
    bool isEmpty() const { return sentinel_.next == &sentinel_; }

    tWorkItem* takeHead() {
        tWorkItem* item = sentinel_.next;
        sentinel_.next = item->next;
        item->next->prev = &sentinel_;
        item->next = item->prev = nullptr;
        return item;
    }

    void stopWorkers() {
        std::size_t running = 0;
        {
            tLockGuard<Mutex> guard(*mutex_);
            running = runningCount_;
            for (std::size_t i = 0; i < running; ++i) running_[i]->requestStop();
        }
        if (running != 0) {
            workAvailable_.set();
            allExited_.wait();
        }
        for (tThreadController& worker : workers_) worker.join();
    }

    static void workerLoop(tThreadController& self, void* argument) {
        static_cast<tWorkQueue*>(argument)->serve(self);
    }

    void serve(tThreadController& self) {
        for (;;) {
            mutex_->lock();
            if (isEmpty()) {
                // The stop flag counts only once the FIFO is drained.
                if (self.stopRequested()) break;
                mutex_->unlock();
                workAvailable_.wait();
                continue;
            }
            tWorkItem* item = takeHead();
            if (item->takeOff != nullptr) item->takeOff(item);
            const bool moreRemain = !isEmpty();
            mutex_->unlock();
            if (moreRemain) workAvailable_.set();
            while (item != nullptr) item = item->run != nullptr ? item->run(item) : nullptr;
        }
        retire(self);
        const bool lastOut = runningCount_ == 0;
        mutex_->unlock();
        workAvailable_.set();
        if (lastOut) allExited_.set();
    }

    // Under the queue mutex: moves the worker from the running list to the exited list.
    void retire(tThreadController& self) {
        for (std::size_t i = 0; i < runningCount_; ++i) {
            if (running_[i] == &self) {
                running_[i] = running_[--runningCount_];
                exited_[exitedCount_++] = &self;
                return;
            }
        }
    }

    Mutex* mutex_;
    tEvent workAvailable_;
    tEvent allExited_;
    tWorkItem sentinel_;
    tThreadController* running_[Workers] = {};
    std::size_t runningCount_ = 0;
    tThreadController* exited_[Workers] = {};
    std::size_t exitedCount_ = 0;
    tThreadController workers_[Workers];
};

}  // namespace qxapal
