// SPDX-License-Identifier: MIT
#include "sim/ErrnoNames.h"

#include <cstring>

namespace qxsim {

namespace {
constexpr int kLargestErrno = 4095;  // the kernel's MAX_ERRNO
}

std::string errnoName(int error) {
    const char* name = strerrorname_np(error);
    return name ? name : "E" + std::to_string(error);
}

std::optional<int> errnoFromName(const std::string& name) {
    for (int error = 1; error <= kLargestErrno; ++error) {
        const char* candidate = strerrorname_np(error);
        if (candidate && name == candidate) return error;
    }
    return std::nullopt;
}

}  // namespace qxsim
