// SPDX-License-Identifier: MIT
#include "platform/qxafa/DirectoryMonitor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <fcntl.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <thread>

#include "platform/qxerr/Exception.h"
#include "platform/qxafa/UniqueFd.h"
#include "tests/support/OpenDescriptors.h"
#include "tests/support/TempDir.h"

namespace {

using qxafa::DirectoryMonitor;
using Clock = std::chrono::steady_clock;

// Generous bound for "at once": far below the waits' own limits.
constexpr auto kPrompt = std::chrono::milliseconds(2000);

class DirectoryMonitorTest : public ::testing::Test {
protected:
    void TearDown() override {
        EXPECT_TRUE(qxtest::descriptorsOpenedSince(descriptorsBefore_).empty())
            << "a descriptor outlived its monitor";
    }
    std::set<std::string> descriptorsBefore_ = qxtest::openDescriptors();
};

TEST_F(DirectoryMonitorTest, ChangeReportsTheIndexOfItsDirectory) {
    qxtest::TempDir first, second;
    const char* paths[] = {first.path().c_str(), second.path().c_str()};
    struct Case {
        const char* what;
        const qxtest::TempDir& dir;
        uint32_t index;
    } cases[] = {{"create in the first", first, 0}, {"create in the second", second, 1}};
    qxerr::Status status;
    DirectoryMonitor monitor(paths, 2, status);
    ASSERT_EQ(status.getCode(), 0) << status.reportText();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.dir.write(std::string("file") + std::to_string(c.index), "x");
        uint32_t index = 99;
        EXPECT_TRUE(monitor.waitForChange(5000, &index, status));
        EXPECT_EQ(index, c.index);
        EXPECT_EQ(status.getCode(), 0) << status.reportText();
        // Drain the rest of this file's events before the next case.
        while (monitor.waitForChange(100, nullptr, status)) {
        }
        status = qxerr::Status();
    }
}

// A watch for entries that come and go tells which entry; what is done to an entry that
// stays (written, closed, its mode changed) is none of its business. The kernel queues an
// event within the call that causes it, so a wait of 0 ms sees it or nothing.
TEST_F(DirectoryMonitorTest, AWatchOfEntriesThatComeAndGoNamesTheEntry) {
    qxtest::TempDir dir;
    dir.write("kept", "x");
    DirectoryMonitor monitor(std::vector<std::string>{});
    qxerr::Status status;
    ASSERT_TRUE(monitor.watch(0, dir.path(), DirectoryMonitor::kEntriesComeAndGo, status))
        << status.reportText();
    const struct {
        const char* what;
        std::function<void()> act;
        const char* name;  // null: no event
    } cases[] = {
        {"written", [&] { dir.write("kept", "yy"); }, nullptr},
        {"mode changed", [&] { ::chmod(dir.file("kept").c_str(), 0600); }, nullptr},
        {"made", [&] { dir.write("ttyQX561xPort7", ""); }, "ttyQX561xPort7"},
        {"renamed", [&] { std::rename(dir.file("ttyQX561xPort7").c_str(), dir.file("p8").c_str()); },
         "ttyQX561xPort7"},
        {"deleted", [&] { ::unlink(dir.file("kept").c_str()); }, "kept"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        qxerr::Status waited;
        std::string name = "unset";
        const bool changed = monitor.waitForChange(0, nullptr, nullptr, &name, waited);
        EXPECT_EQ(changed, c.name != nullptr) << waited.reportText();
        if (c.name) {
            EXPECT_EQ(name, c.name);
        }
        while (monitor.waitForChange(0, nullptr, nullptr, &name, waited)) {
        }
    }
}

TEST_F(DirectoryMonitorTest, WaitingThreadWakesWhenAFileIsCreated) {
    qxtest::TempDir dir;
    DirectoryMonitor monitor(dir.path());
    std::thread writer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        dir.write("configuration.ini", "[a]\n");
    });
    uint32_t index = 99;
    const bool changed = monitor.waitForChange(&index);
    writer.join();
    EXPECT_TRUE(changed);
    EXPECT_EQ(index, 0u);
}

TEST_F(DirectoryMonitorTest, TimeoutReportsTheRequestedTime) {
    qxtest::TempDir dir;
    DirectoryMonitor monitor(dir.path());
    qxerr::Status status;
    const auto start = Clock::now();
    EXPECT_FALSE(monitor.waitForChange(250, nullptr, status));
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(240));
    EXPECT_EQ(status.getCode(), qxerr::qxapalerr_operationTimedOut);
    const char* report = status.reportText();
    EXPECT_EQ(qxerr::reportGetInt(report, "requested_timeout_ms", -1), 250) << report;
    EXPECT_EQ(qxerr::reportGetString(report, "error_constant"), "qxapalerr_operationTimedOut");
    EXPECT_EQ(qxerr::reportGetString(report, "file"), "qxafa/internal/DirectoryMonitorImpl");
    EXPECT_EQ(qxerr::reportGetInt(report, "line"), 98);

    // The throwing form raises the same failure.
    try {
        monitor.waitForChange(10, nullptr);
        ADD_FAILURE() << "no exception";
    } catch (const qxerr::Exception& e) {
        EXPECT_EQ(e.getCode(), qxerr::qxapalerr_operationTimedOut);
        EXPECT_EQ(qxerr::reportGetInt(e.what(), "requested_timeout_ms", -1), 10);
    }
}

TEST_F(DirectoryMonitorTest, CancelMakesThisAndEveryLaterWaitReturnAtOnce) {
    qxtest::TempDir dir;
    DirectoryMonitor monitor(dir.path());
    monitor.cancelWait();
    dir.write("changed", "x");  // a pending change does not beat the cancel
    for (int wait = 0; wait < 3; ++wait) {
        qxerr::Status status;
        const auto start = Clock::now();
        EXPECT_FALSE(monitor.waitForChange(DirectoryMonitor::kNoTimeLimit, nullptr, status));
        EXPECT_LT(Clock::now() - start, kPrompt);
        EXPECT_EQ(status.getCode(), 0) << status.reportText();
    }
}

TEST_F(DirectoryMonitorTest, CancelFromAnotherThreadEndsAWaitWithoutLimit) {
    qxtest::TempDir dir;
    DirectoryMonitor monitor(dir.path());
    bool changed = true;
    qxerr::Status status;
    std::thread waiter([&] { changed = monitor.waitForChange(nullptr, status); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    monitor.cancelWait();
    waiter.join();
    EXPECT_FALSE(changed);
    EXPECT_EQ(status.getCode(), 0);
}

TEST_F(DirectoryMonitorTest, WaitWithAFailedStatusDoesNothing) {
    qxtest::TempDir dir;
    DirectoryMonitor monitor(dir.path());
    dir.write("changed", "x");
    qxerr::Status status;
    qxerr::setCode(status, qxerr::qxapalerr_invalidParameter);
    EXPECT_FALSE(monitor.waitForChange(1000, nullptr, status));
    EXPECT_EQ(status.getCode(), qxerr::qxapalerr_invalidParameter);
    // The change is still there for the next wait.
    qxerr::Status fresh;
    EXPECT_TRUE(monitor.waitForChange(1000, nullptr, fresh));
}

TEST_F(DirectoryMonitorTest, MissingDirectoryFailsWithEnoent) {
    qxtest::TempDir dir;
    const std::string missing = dir.file("absent");
    qxerr::Status status;
    {
        DirectoryMonitor monitor(missing, status);
        EXPECT_EQ(status.getCode(), qxerr::qxapalerr_osFault);
        const std::string report = status.reportText();
        EXPECT_EQ(qxerr::reportGetString(report.c_str(), "file"),
                  "qxafa/internal/DirectoryMonitorImpl");
        EXPECT_EQ(qxerr::reportGetInt(report.c_str(), "line"), 429);
        const std::string expected = std::string("\"internal_error\":{\"api\":\"errno\",\"code\":") +
                                     std::to_string(ENOENT) + ",\"string\":\"" +
                                     std::strerror(ENOENT) + "\"}";
        EXPECT_NE(report.find(expected), std::string::npos) << report;
    }
    try {
        DirectoryMonitor monitor(missing);
        ADD_FAILURE() << "no exception";
    } catch (const qxerr::Exception& e) {
        EXPECT_EQ(e.getCode(), qxerr::qxapalerr_osFault);
        EXPECT_EQ(qxerr::reportGetInt(e.what(), "line"), 429);
    }
}

TEST_F(DirectoryMonitorTest, LaterPathsAreNotWatchedAfterAFailure) {
    qxtest::TempDir dir;
    const std::string missing = dir.file("absent");
    const char* paths[] = {dir.path().c_str(), missing.c_str(), dir.path().c_str()};
    qxerr::Status status;
    DirectoryMonitor monitor(paths, 3, status);
    EXPECT_EQ(status.getCode(), qxerr::qxapalerr_osFault);
    // The first watch was kept; a change in its directory still wakes with index 0.
    dir.write("changed", "x");
    qxerr::Status waitStatus;
    uint32_t index = 99;
    EXPECT_TRUE(monitor.waitForChange(5000, &index, waitStatus));
    EXPECT_EQ(index, 0u);
}

TEST_F(DirectoryMonitorTest, QueueOverflowIsSkipped) {
    unsigned queueLimit = 0;
    std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> queueLimit;
    if (queueLimit == 0 || queueLimit > 65536) {
        GTEST_SKIP() << "event queue limit " << queueLimit << " is out of reach";
    }
    qxtest::TempDir dir;
    DirectoryMonitor monitor(dir.path());
    // Each file yields a create and a close-after-write event: enough to overflow the
    // queue, which then ends with the kernel's overflow event.
    for (unsigned i = 0; i < queueLimit / 2 + 100; ++i) {
        ASSERT_TRUE(qxafa::UniqueFd(::open(dir.file("f" + std::to_string(i)).c_str(),
                                           O_WRONLY | O_CREAT | O_CLOEXEC, 0600)));
    }
    qxerr::Status status;
    unsigned changes = 0;
    uint32_t index = 0;
    while (monitor.waitForChange(300, &index, status)) {
        ASSERT_EQ(index, 0u) << "after " << changes << " changes";
        ++changes;
    }
    EXPECT_GT(changes, 0u);
    EXPECT_EQ(status.getCode(), qxerr::qxapalerr_operationTimedOut) << status.reportText();
}

}  // namespace
