#pragma once
// Scope guard for the platform's critical section.

#include "sysapicpp/detail/Locks.h"

namespace sysapicpp {

class CqxCSLock {
public:
    explicit CqxCSLock(CqxCS& cs) : cs_(cs) { cs_.lock(-1); }
    ~CqxCSLock() { cs_.unlock(); }
    CqxCSLock(const CqxCSLock&) = delete;
    CqxCSLock& operator=(const CqxCSLock&) = delete;

private:
    CqxCS& cs_;
};

}  // namespace sysapicpp
