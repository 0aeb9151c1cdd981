// SPDX-License-Identifier: MIT
#pragma once
// The recursive critical section of bags, caches and handlers.

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <memory>

namespace qxapal {

class CqxSyncObject {
public:
    virtual ~CqxSyncObject() = default;
    // Stores the setting; the locks here give it no meaning of their own.
    virtual void set(int32_t value) { setting_ = value; }
    int32_t setting() const { return setting_; }

protected:
    int32_t setting_ = 0;
};

class CqxCS : public CqxSyncObject {
public:
    // Throws std::system_error when the mutex cannot be created.
    CqxCS();
    ~CqxCS() override;
    CqxCS(const CqxCS&) = delete;
    CqxCS& operator=(const CqxCS&) = delete;

    // Waits until owned (the timeout is not used); always true. Recursive.
    virtual bool lock(int32_t timeout = -1);
    // Ignored when the calling thread does not own the section.
    virtual void unlock();

    // Whether the calling thread owns the section.
    bool isOwnedByCaller() const;

private:
    struct Record;
    std::unique_ptr<Record> record_;
};

// Whether "/sys/kernel/realtime" starts with '1'; read once per process.
bool isRealtimeKernel();

// Holds a CqxCS for a scope.
class CqxCSLock {
public:
    explicit CqxCSLock(CqxCS& section) : section_(section) { section_.lock(); }
    ~CqxCSLock() { section_.unlock(); }
    CqxCSLock(const CqxCSLock&) = delete;
    CqxCSLock& operator=(const CqxCSLock&) = delete;

private:
    CqxCS& section_;
};

}  // namespace qxapal
