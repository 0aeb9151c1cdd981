// SPDX-License-Identifier: MIT
#pragma once
// The bag-wide operations of the host's bag interface on top of the typed view:
// tag sets, modified-set bookkeeping, holding the bag's lock, copies.

#include <cstdint>
#include <set>

#include "sysapicpp/propbag/PropertyBagHandle.h"

namespace sysapicpp {

class SystemAPIPropertyBagAccessor : public virtual PropertyBagHandle {
public:
    SystemAPIPropertyBagAccessor() = default;
    explicit SystemAPIPropertyBagAccessor(IcxSysPropertyBag4* bag) : PropertyBagHandle(bag) {}

    std::set<uint32_t> tags() const;
    std::set<uint32_t> modifiedTags() const;
    void markModified(uint32_t tag) const;
    // False when the bag had no modified tag.
    bool clearModified() const;
    // Whether the tag was modified; anyLeft receives whether other modified tags remain.
    bool clearModifiedTag(uint32_t tag, bool* anyLeft = nullptr) const;
    // A copy of the bag with an empty modified set.
    PropertyBagHandle clone() const;

    void lock() const;
    void unlock() const;

    // Holds the bag's lock for a scope.
    class ScopedLock {
    public:
        explicit ScopedLock(const SystemAPIPropertyBagAccessor& accessor) : accessor_(accessor) {
            accessor_.lock();
        }
        ~ScopedLock() {
            try {
                accessor_.unlock();
            } catch (...) {
                // Unlock can only fail when the lock is not held; nothing to undo.
            }
        }
        ScopedLock(const ScopedLock&) = delete;
        ScopedLock& operator=(const ScopedLock&) = delete;

    private:
        const SystemAPIPropertyBagAccessor& accessor_;
    };
};

}  // namespace sysapicpp
