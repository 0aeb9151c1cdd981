// SPDX-License-Identifier: MIT
#pragma once
// Absolute time: seconds since 1904-01-01 00:00:00 UTC plus a binary fraction, and its
// conversion to and from the C library's broken-down local time.

#include <cstdint>
#include <ctime>

namespace qx::dsc {

struct AbsTime {
    uint64_t fraction;  // units of 2^-64 s
    int64_t seconds;    // since 1904-01-01 00:00:00 UTC
};
static_assert(sizeof(AbsTime) == 16, "the host stores absolute time as 16 bytes");

// Seconds between 1904-01-01 and 1970-01-01.
constexpr int64_t kUnixEpochOffset = 2082844800;

// Normalises the local broken-down time with mktime; fraction 0. Throws OutOfRange
// when the time is not after 1970-01-01 00:00:00 UTC or cannot be represented.
AbsTime localDateTimeToAbsTime(const std::tm& fields);

// The local broken-down time of the absolute time. With round, a fraction above one
// half adds a second and exactly one half adds one only when that makes the seconds
// even. Throws OutOfRange when the time cannot be converted.
std::tm absTimeToLocalDateTime(const AbsTime& time, bool round);

}  // namespace qx::dsc
