// SPDX-License-Identifier: MIT
#include "sim/SystemLog.h"

#include <gtest/gtest.h>

namespace {

TEST(SimSystemLog, AMessageIsShownByItsPriorityOnOneLine) {
    const struct {
        std::string sent;
        const char* shown;
    } cases[] = {
        {"<29>Dec  9 10:29:34 qxserial[7]: text", "daemon.notice Dec  9 10:29:34 qxserial[7]: text"},
        {"<30>a\n", "daemon.info a"},
        {std::string("<11>a\0", 6), "user.err a"},
        {"<0>kernel", "kern.emerg kernel"},
        {"<191>last", "local7.debug last"},
        {"<192>too high", "user.notice <192>too high"},
        {"<>empty", "user.notice <>empty"},
        {"<12", "user.notice <12"},
        {"no priority", "user.notice no priority"},
        {"<13>two\nlines\ttab\\", "user.notice two\\x0Alines\\x09tab\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(qxsim::SystemLog::line(c.sent), c.shown);
    }
}

}  // namespace
