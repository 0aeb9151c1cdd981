#include "platform/qxafa/FileLock.h"

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
#include "tests/store/StoreTestSupport.h"

namespace {

using qxafa::FileLock;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

Fd openFile(const std::string& path) {
    return Fd(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
}

// Whether another open file description could take the lock right now.
bool canLock(const std::string& path, int operation) {
    Fd other = openFile(path);
    const bool taken = ::flock(other.get(), operation | LOCK_NB) == 0;
    const bool wouldBlock = !taken && errno == EWOULDBLOCK;
    EXPECT_TRUE(taken || wouldBlock) << "flock: " << errno;
    return taken;
}

TEST(FileLock, SharedLocksCoexistExclusiveExcludesAll) {
    storetest::TempDir dir;
    const std::string path = dir.file("lock");
    Fd fd = openFile(path);
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
}

TEST(FileLock, NothingHappensOnceStatusHoldsAnError) {
    storetest::TempDir dir;
    const std::string path = dir.file("lock");
    Fd fd = openFile(path);
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
    storetest::TempDir dir;
    const std::string path = dir.file("lock");
    Fd fd = openFile(path);
    FileLock lock(fd.get());
    lock.lockExclusive();

    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    Fd readEnd(pipeFds[0]);
    Fd writeEnd(pipeFds[1]);
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
