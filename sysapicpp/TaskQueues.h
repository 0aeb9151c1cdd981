// SPDX-License-Identifier: MIT
#pragma once
// Queues that run tasks on the platform's worker threads.

#include <cstddef>
#include <memory>
#include <utility>

#include "platform/qxapal/CqxCS.h"
#include "platform/qxapal/quarks/synchronization.h"
#include "platform/qxapal/quarks/tWorkQueue.h"
#include "platform/qxapal/tStatus.h"
#include "sysapicpp/Task.h"

namespace sysapicpp {

// A holder for a new FunctorTask over f.
template <class F>
TaskHolder makeFunctorTask(F f) {
    auto task = std::make_unique<FunctorTask<F>>(std::move(f));
    return TaskHolder(task.release());
}

// One task on the platform work queue. It owns its task and frees itself once run.
class TaskWorkItem : public qxapal::tWorkItem {
public:
    // Takes the task over; null runs as a NullTask.
    explicit TaskWorkItem(std::unique_ptr<Task> task);
    TaskWorkItem(const TaskWorkItem&) = delete;
    TaskWorkItem& operator=(const TaskWorkItem&) = delete;

private:
    static void takenOff(qxapal::tWorkItem* item);
    static qxapal::tWorkItem* runAndFree(qxapal::tWorkItem* item);

    std::unique_ptr<Task> task_;
    NullTask nullTask_;
};

// A task queue served by Workers threads. Destruction runs the queued tasks, then joins.
template <std::size_t Workers>
class ThreadedTaskQueue final : public TaskQueue {
public:
    // Every worker is named threadName; SCHED_RR at priority when it is 1 or more.
    // Throws qxerr::Exception with the work queue's status when the mutex, the events
    // or the workers cannot be created.
    explicit ThreadedTaskQueue(const char* threadName, int priority = 0) {
        qxapal::tStatus status;
        mutex_ = std::make_unique<qxapal::tFastMutex>(&status);
        qxapal::throwIfFatal(status);
        queue_ = std::make_unique<qxapal::tWorkQueue<qxapal::tFastMutex, Workers>>(
            mutex_.get(), priority, threadName, &status);
        qxapal::throwIfFatal(status);
    }

    ~ThreadedTaskQueue() override { queue_.reset(); }

    void submit(const TaskHolder& task) override {
        auto item = std::make_unique<TaskWorkItem>(std::unique_ptr<Task>(task.cloneTask()));
        // The queue frees the item once run.
        if (queue_->enqueue(item.get())) item.release();
    }

private:
    std::unique_ptr<qxapal::tFastMutex> mutex_;  // outlives the queue
    std::unique_ptr<qxapal::tWorkQueue<qxapal::tFastMutex, Workers>> queue_;
};

// Owns an inner queue and passes tasks on while it has one.
class AutoTaskQueue final : public TaskQueue {
public:
    explicit AutoTaskQueue(std::unique_ptr<TaskQueue> inner);
    // Destroys the inner queue; what it still holds runs first.
    ~AutoTaskQueue() override;

    // Does nothing once the inner queue is gone.
    void submit(const TaskHolder& task) override;
    // Destroys the inner queue now (its queued tasks run; their submissions are dropped).
    void shutdown();

private:
    qxapal::CqxCS section_;
    std::unique_ptr<TaskQueue> inner_;
};

}  // namespace sysapicpp
