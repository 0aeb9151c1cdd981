// SPDX-License-Identifier: MIT
#pragma once
// Base of classes whose objects have an identity: no copies, no assignment.

namespace qx::dsc {

class Noncopyable {
protected:
    Noncopyable() = default;
    ~Noncopyable() = default;

public:
    Noncopyable(const Noncopyable&) = delete;
    Noncopyable& operator=(const Noncopyable&) = delete;
};

}  // namespace qx::dsc
