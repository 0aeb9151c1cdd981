// SPDX-License-Identifier: MIT
#pragma once
// Work for the expert's worker threads, passed by value through a holder that clones.

#include <memory>
#include <utility>

namespace sysapicpp {

class Task {
public:
    virtual ~Task() = default;                                                        // 0, 1
    // A new heap copy of this task.
    virtual Task* clone() const = 0;                                                  // 2
    virtual void run() = 0;                                                           // 3
    // run(), with every exception swallowed: a failing task must not stop its worker.
    virtual void runGuarded();                                                        // 4
};

class NullTask final : public Task {
public:
    Task* clone() const override { return new NullTask; }
    void run() override {}
    void runGuarded() override {}
};

// Owns one task; copies clone it. An empty holder behaves as a NullTask.
class TaskHolder {
public:
    TaskHolder() = default;
    // Takes the task over.
    explicit TaskHolder(Task* task) : task_(task) {}
    TaskHolder(const TaskHolder& other) : task_(other.task_ ? other.task_->clone() : nullptr) {}
    TaskHolder(TaskHolder&&) noexcept = default;
    TaskHolder& operator=(TaskHolder other) noexcept {
        task_.swap(other.task_);
        return *this;
    }

    bool empty() const { return !task_; }
    // A heap copy for a queue to own: the task's clone, or a NullTask.
    Task* cloneTask() const { return task_ ? task_->clone() : new NullTask; }
    void run() const {
        if (task_) task_->run();
    }
    void runGuarded() const {
        if (task_) task_->runGuarded();
    }

private:
    std::unique_ptr<Task> task_;
};

// Runs a copyable function object F.
template <class F>
class FunctorTask final : public Task {
public:
    explicit FunctorTask(F functor) : functor_(std::move(functor)) {}
    Task* clone() const override { return new FunctorTask(*this); }
    void run() override { functor_(); }
    const F& functor() const { return functor_; }

private:
    F functor_;
};

class TaskQueue {
public:
    virtual ~TaskQueue() = default;                                                   // 0, 1
    // Queues a copy of the task and returns at once.
    virtual void submit(const TaskHolder& task) = 0;                                  // 2
};

}  // namespace sysapicpp
