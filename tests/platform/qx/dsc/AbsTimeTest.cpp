// SPDX-License-Identifier: MIT
#include "platform/qx/dsc/AbsTime.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/qx/dsc/Exception.h"

using namespace qx::dsc;

namespace {

// Sets the process's time zone for one test; POSIX rules need no zone database.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (hadOld_) setenv("TZ", old_.c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    bool hadOld_ = false;
    std::string old_;
};

std::tm fields(int year, int month, int day, int hour, int minute, int second) {
    std::tm t{};
    t.tm_year = year - 1900;
    t.tm_mon = month - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_sec = second;
    t.tm_isdst = -1;
    return t;
}

constexpr uint64_t kHalf = uint64_t{1} << 63;

}  // namespace

TEST(AbsTime, FirstSecondAfterUnixEpochInUtc) {
    ZoneGuard zone("UTC0");
    const AbsTime t = localDateTimeToAbsTime(fields(1970, 1, 1, 0, 0, 1));
    EXPECT_EQ(t.seconds, 2082844801);
    EXPECT_EQ(t.fraction, 0u);
    EXPECT_THROW(localDateTimeToAbsTime(fields(1970, 1, 1, 0, 0, 0)), exception::OutOfRange);
    EXPECT_THROW(localDateTimeToAbsTime(fields(1960, 6, 1, 0, 0, 0)), exception::OutOfRange);
}

TEST(AbsTime, RoundTripsThroughLocalTimeWithDaylightSaving) {
    ZoneGuard zone("CET-1CEST,M3.5.0,M10.5.0/3");
    // Winter (UTC+1) and summer (UTC+2) dates.
    const std::tm winter = fields(2024, 1, 15, 12, 30, 45);
    const std::tm summer = fields(2024, 7, 15, 12, 30, 45);
    const AbsTime w = localDateTimeToAbsTime(winter);
    const AbsTime s = localDateTimeToAbsTime(summer);
    EXPECT_EQ(w.seconds - kUnixEpochOffset, 1705318245);  // 11:30:45 UTC
    EXPECT_EQ(s.seconds - kUnixEpochOffset, 1721039445);  // 10:30:45 UTC
    for (const AbsTime& t : {w, s}) {
        const std::tm back = absTimeToLocalDateTime(t, false);
        EXPECT_EQ(back.tm_year, 124);
        EXPECT_EQ(back.tm_hour, 12);
        EXPECT_EQ(back.tm_min, 30);
        EXPECT_EQ(back.tm_sec, 45);
    }
    // Normalisation: 1 March minus one day is the last day of February.
    const AbsTime leap = localDateTimeToAbsTime(fields(2024, 3, 0, 0, 0, 0));
    const std::tm back = absTimeToLocalDateTime(leap, false);
    EXPECT_EQ(back.tm_mon, 1);
    EXPECT_EQ(back.tm_mday, 29);
}

TEST(AbsTime, RoundingToNearestSecondHalfToEven) {
    ZoneGuard zone("UTC0");
    const int64_t even = kUnixEpochOffset + 10;  // 00:00:10
    const int64_t odd = kUnixEpochOffset + 11;   // 00:00:11
    struct Case {
        int64_t seconds;
        uint64_t fraction;
        bool round;
        int expectedSecond;
    } cases[] = {
        {even, kHalf - 1, true, 10},
        {even, kHalf, true, 10},      // stays even
        {even, kHalf + 1, true, 11},
        {odd, kHalf, true, 12},       // becomes even
        {odd, kHalf - 1, true, 11},
        {odd, ~uint64_t{0}, true, 12},
        {odd, ~uint64_t{0}, false, 11},
        {kUnixEpochOffset + 59, kHalf + 1, true, 0},  // carries into the minute
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << " " << c.fraction << " " << c.round);
        const std::tm t = absTimeToLocalDateTime(AbsTime{c.fraction, c.seconds}, c.round);
        EXPECT_EQ(t.tm_sec, c.expectedSecond);
    }
    const std::tm carried = absTimeToLocalDateTime(AbsTime{kHalf + 1, kUnixEpochOffset + 59}, true);
    EXPECT_EQ(carried.tm_min, 1);
}

TEST(AbsTime, TimesBefore1970StillConvertToLocalTime) {
    ZoneGuard zone("UTC0");
    const std::tm t = absTimeToLocalDateTime(AbsTime{0, 0}, false);
    EXPECT_EQ(t.tm_year, 4);
    EXPECT_EQ(t.tm_mon, 0);
    EXPECT_EQ(t.tm_mday, 1);
}

TEST(AbsTime, UnrepresentableTimesAreOutOfRange) {
    ZoneGuard zone("UTC0");
    EXPECT_THROW(absTimeToLocalDateTime(AbsTime{0, INT64_MIN}, false), exception::OutOfRange);
    EXPECT_THROW(absTimeToLocalDateTime(AbsTime{0, INT64_MAX}, false), exception::OutOfRange);
    EXPECT_THROW(absTimeToLocalDateTime(AbsTime{~uint64_t{0}, INT64_MAX}, true), exception::OutOfRange);
}
