// SPDX-License-Identifier: MIT
#include "sim/SystemError.h"

#include <cerrno>
#include <cstring>

namespace qxsim {

SystemError::SystemError(const std::string& what, int error)
    : std::runtime_error(what + ": " + std::strerror(error)), error_(error) {}

long check(long result, const std::string& what) {
    if (result < 0) throw SystemError(what, errno);
    return result;
}

}  // namespace qxsim
