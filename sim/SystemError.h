// SPDX-License-Identifier: MIT
#pragma once
// Failures of the simulator's own system calls, with the errno text.

#include <stdexcept>
#include <string>

namespace qxsim {

class SystemError : public std::runtime_error {
public:
    // what: the attempted action, e.g. "mount /proc/driver"; error: the errno value.
    SystemError(const std::string& what, int error);
    int error() const { return error_; }

private:
    int error_;
};

// Throws SystemError(what, errno) when result is negative; returns result otherwise.
long check(long result, const std::string& what);

}  // namespace qxsim
