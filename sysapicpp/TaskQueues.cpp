// SPDX-License-Identifier: MIT
#include "sysapicpp/TaskQueues.h"

namespace sysapicpp {

TaskWorkItem::TaskWorkItem(std::unique_ptr<Task> task)
    : qxapal::tWorkItem(&TaskWorkItem::takenOff, &TaskWorkItem::runAndFree),
      task_(std::move(task)) {}

void TaskWorkItem::takenOff(qxapal::tWorkItem*) {}

qxapal::tWorkItem* TaskWorkItem::runAndFree(qxapal::tWorkItem* item) {
    std::unique_ptr<TaskWorkItem> self(static_cast<TaskWorkItem*>(item));
    Task& task = self->task_ ? *self->task_ : self->nullTask_;
    // A task's own runGuarded may be overridden; nothing may leave a worker.
    try {
        task.runGuarded();
    } catch (...) {
    }
    return nullptr;
}

AutoTaskQueue::AutoTaskQueue(std::unique_ptr<TaskQueue> inner) : inner_(std::move(inner)) {}

AutoTaskQueue::~AutoTaskQueue() { shutdown(); }

void AutoTaskQueue::submit(const TaskHolder& task) {
    qxapal::CqxCSLock lock(section_);
    if (inner_) inner_->submit(task);
}

void AutoTaskQueue::shutdown() {
    std::unique_ptr<TaskQueue> inner;
    {
        qxapal::CqxCSLock lock(section_);
        inner = std::move(inner_);
    }
    // Outside the section: draining tasks may submit, and must not wait for us.
}

}  // namespace sysapicpp
