// SPDX-License-Identifier: MIT
#include "platform/qx/dsc/AbsTime.h"

#include <limits>

#include "platform/qx/dsc/Exception.h"

namespace qx::dsc {
namespace {

constexpr const char* kModule = "qx/dsc/AbsTime";
constexpr uint64_t kHalfSecond = uint64_t{1} << 63;

}  // namespace

AbsTime localDateTimeToAbsTime(const std::tm& fields) {
    std::tm copy = fields;
    const std::time_t unixSeconds = std::mktime(&copy);
    if (unixSeconds <= 0 ||
        unixSeconds > std::numeric_limits<int64_t>::max() - kUnixEpochOffset) {
        throw exception::OutOfRange(kModule, __LINE__);
    }
    return AbsTime{0, static_cast<int64_t>(unixSeconds) + kUnixEpochOffset};
}

std::tm absTimeToLocalDateTime(const AbsTime& time, bool round) {
    int64_t seconds = time.seconds;
    if (round) {
        const bool odd = (seconds & 1) != 0;
        if (time.fraction > kHalfSecond || (time.fraction == kHalfSecond && odd)) {
            if (seconds == std::numeric_limits<int64_t>::max()) {
                throw exception::OutOfRange(kModule, __LINE__);
            }
            ++seconds;
        }
    }
    if (seconds < std::numeric_limits<int64_t>::min() + kUnixEpochOffset) {
        throw exception::OutOfRange(kModule, __LINE__);
    }
    const std::time_t unixSeconds = static_cast<std::time_t>(seconds - kUnixEpochOffset);
    std::tm fields{};
    if (localtime_r(&unixSeconds, &fields) == nullptr) {
        throw exception::OutOfRange(kModule, __LINE__);
    }
    return fields;
}

}  // namespace qx::dsc
