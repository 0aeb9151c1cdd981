// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <utility>

#include "platform/qxerr/Exception.h"

namespace qxtest {

// Runs call and returns the code and line of the qxerr::Exception it throws (0, 0 if none).
template <typename Call>
std::pair<int32_t, int64_t> failure(Call call) {
    try {
        call();
    } catch (const qxerr::Exception& e) {
        return {e.getCode(), qxerr::reportGetInt(e.what(), "line", -1)};
    }
    return {0, 0};
}

}  // namespace qxtest
