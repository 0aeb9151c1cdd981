// SPDX-License-Identifier: MIT
#include "platform/qxafa/FileLock.h"
#include "platform/qxafa/FileLockGuard.h"
#include "platform/qxafa/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <gtest/gtest.h>

#include "platform/qxerr/Exception.h"
#include "tests/support/TempDir.h"

namespace {

using qxafa::FileLock;

using qxafa::FileLockGuard;
using qxafa::UniqueFd;
using qxtest::TempDir;

UniqueFd openFile(const std::string& path) {
    return UniqueFd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
}

// Whether another open file description could take the lock right now.
bool canLock(const std::string& path, int operation) {
    UniqueFd other = openFile(path);
    const bool taken = ::flock(other.get(), operation | LOCK_NB) == 0;
    const bool wouldBlock = !taken && errno == EWOULDBLOCK;
    EXPECT_TRUE(taken || wouldBlock) << "flock: " << errno;
    return taken;
}

TEST(FileLock, SharedLocksCoexistExclusiveExcludesAll) {
    TempDir dir;
    const std::string path = dir.file("lock");
    UniqueFd fd = openFile(path);
    FileLock lock(fd.get());

    lock.lockShared();
    EXPECT_TRUE(canLock(path, LOCK_SH));
    EXPECT_FALSE(canLock(path, LOCK_EX));
    lock.unlock();
    EXPECT_TRUE(canLock(path, LOCK_EX));

    qxerr::Status status;
    lock.lockExclusive(status);
    EXPECT_EQ(status.getCode(), 0);
    EXPECT_FALSE(canLock(path, LOCK_SH));
    lock.unlock();
    EXPECT_TRUE(canLock(path, LOCK_SH));
}

TEST(FileLockGuard, HoldsUntilItGoesAndTriesWithoutWaiting) {
    TempDir dir;
    const std::string path = dir.file("lock");
    const UniqueFd fd = openFile(path);
    const UniqueFd other = openFile(path);
    {
        const FileLockGuard shared(fd.get(), FileLockGuard::Mode::Shared);
        EXPECT_FALSE(FileLockGuard::tryExclusive(other.get()).held());
        EXPECT_TRUE(canLock(path, LOCK_SH));
    }
    {
        const FileLockGuard exclusive = FileLockGuard::tryExclusive(other.get());
        EXPECT_TRUE(exclusive.held());
        EXPECT_FALSE(canLock(path, LOCK_SH));
    }
    EXPECT_TRUE(canLock(path, LOCK_EX));
}

TEST(FileLock, FailureReportsSiteAndErrno) {
    for (bool exclusive : {false, true}) {
        FileLock lock(-1);
        qxerr::Status status;
        exclusive ? lock.lockExclusive(status) : lock.lockShared(status);
        EXPECT_EQ(status.getCode(), qxerr::qxapalerr_osFault);
        const char* report = status.reportText();
        EXPECT_EQ(qxerr::reportGetString(report, "error_constant"), "qxapalerr_osFault");
        EXPECT_EQ(qxerr::reportGetString(report, "file"), "qxafa/internal/FileLockImpl");
        EXPECT_EQ(qxerr::reportGetInt(report, "line"), 218);
        EXPECT_NE(std::string(report).find("\"internal_error\":{\"api\":\"errno\",\"code\":9"),
                  std::string::npos)
            << report;

        try {
            exclusive ? lock.lockExclusive() : lock.lockShared();
            ADD_FAILURE() << "no exception";
        } catch (const qxerr::Exception& e) {
            EXPECT_EQ(e.getCode(), qxerr::qxapalerr_osFault);
            EXPECT_EQ(qxerr::reportGetInt(e.what(), "line"), 218);
        }
    }
    EXPECT_THROW(FileLock(-1).tryLockExclusive(), qxerr::Exception);
}

TEST(FileLock, NothingHappensOnceStatusHoldsAnError) {
    TempDir dir;
    const std::string path = dir.file("lock");
    UniqueFd fd = openFile(path);
    FileLock lock(fd.get());
    qxerr::Status failed;
    FileLock(-1).lockShared(failed);
    const std::string report = failed.reportText();

    lock.lockExclusive(failed);
    EXPECT_TRUE(canLock(path, LOCK_EX));
    EXPECT_EQ(failed.getCode(), qxerr::qxapalerr_osFault);
    EXPECT_EQ(failed.reportText(), report);
}

bool readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1;
}

void interrupted(int) {}

// The child blocks in lockExclusive while signals without SA_RESTART interrupt it;
// it must keep waiting, then get the lock once the parent lets go.
TEST(FileLock, SecondProcessBlocksUntilFirstUnlocks) {
    TempDir dir;
    const std::string path = dir.file("lock");
    UniqueFd fd = openFile(path);
    FileLock lock(fd.get());
    lock.lockExclusive();

    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    UniqueFd readEnd(pipeFds[0]);
    UniqueFd writeEnd(pipeFds[1]);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        struct sigaction action {};
        action.sa_handler = interrupted;
        ::sigaction(SIGUSR1, &action, nullptr);
        const int own = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        char state = 'w';
        if (::write(pipeFds[1], &state, 1) != 1) {
            ::_exit(3);
        }
        qxerr::Status status;
        FileLock(own).lockExclusive(status);
        state = status.getCode() == 0 ? 'L' : 'F';
        ::_exit(::write(pipeFds[1], &state, 1) == 1 ? 0 : 3);
    }
    char state = 0;
    ASSERT_TRUE(readable(readEnd.get(), 10000));
    ASSERT_EQ(::read(readEnd.get(), &state, 1), 1);
    EXPECT_EQ(state, 'w');
    for (int i = 0; i < 3; ++i) {
        ::usleep(50000);
        ::kill(child, SIGUSR1);
    }
    EXPECT_FALSE(readable(readEnd.get(), 200)) << "the child took a held lock";

    lock.unlock();
    ASSERT_TRUE(readable(readEnd.get(), 10000));
    ASSERT_EQ(::read(readEnd.get(), &state, 1), 1);
    EXPECT_EQ(state, 'L');
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
