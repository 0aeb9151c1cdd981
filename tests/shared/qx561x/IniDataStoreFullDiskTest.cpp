// SPDX-License-Identifier: MIT
// A save on a full file system. The small file system is mounted in a child's
// private mount namespace, so nothing outside sees it and it goes with the child.

#include "shared/qx561x/cIniDataStore.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "platform/qxafa/UniqueFd.h"
#include "platform/qxerr/Exception.h"
#include "tests/shared/qx561x/StoreTestSupport.h"

namespace {

using qx561x::cIniDataStore;

bool writeText(const char* path, const std::string& text) {
    const qxafa::UniqueFd file(::open(path, O_WRONLY | O_CLOEXEC));
    return file && ::write(file.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Returns "" when the mount namespace is ready, else why not.
std::string enterPrivateMountNamespace() {
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (uid == 0 && ::unshare(CLONE_NEWNS) == 0) {
        // fine
    } else if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0) {
        if (!writeText("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !writeText("/proc/self/setgroups", "deny") ||
            !writeText("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
            return "cannot map the user namespace's ids";
        }
    } else {
        return std::string("no private mount namespace: ") + std::strerror(errno);
    }
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return std::string("cannot make mounts private: ") + std::strerror(errno);
    }
    return "";
}

void fill(const std::string& path) {
    const qxafa::UniqueFd file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    const std::string block(4096, 'x');
    while (file && ::write(file.get(), block.data(), block.size()) > 0) {
    }
}

// Runs in the child; the result line goes back to the test.
std::string saveOnFullFileSystem(const std::string& mountPoint) {
    const std::string why = enterPrivateMountNamespace();
    if (!why.empty()) {
        return "SKIP " + why;
    }
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                "size=64k,nr_inodes=64,mode=0755") != 0) {
        return std::string("SKIP cannot mount a tmpfs: ") + std::strerror(errno);
    }
    const std::string path = mountPoint + "/configuration.ini";
    cIniDataStore first;
    first.setFifoRxDepth("qx561x:7a01:3:1", 16);
    first.setFifoTxDepth("qx561x:7a01:3:2", 32);
    first.save(path);
    const std::string before = storetest::readFile(path);
    fill(mountPoint + "/filler");

    cIniDataStore bigger;
    for (int port = 1; port <= 200; ++port) {
        bigger.setFifoRxDepth("qx561x:7a01:3:" + std::to_string(port), 100);
    }
    std::ostringstream result;
    try {
        bigger.save(path);
        result << "saved";
    } catch (const qxerr::Exception& e) {
        const std::string errnoPart = "\"internal_error\":{\"api\":\"errno\",\"code\":";
        const std::string report = e.what();
        const auto at = report.find(errnoPart);
        result << "code=" << e.getCode() << " line=" << qxerr::reportGetInt(e.what(), "line")
               << " errno=" << (at == std::string::npos ? "none" : report.substr(at + errnoPart.size(), 2));
    } catch (const std::exception& e) {
        result << "other exception: " << e.what();
    }
    result << " intact=" << (storetest::readFile(path) == before)
           << " temporaries=" << storetest::temporaryFiles(mountPoint).size();
    return result.str();
}

TEST(StoreFullDisk, SaveFailsAndLeavesThePreviousFile) {
    qxtest::TempDir dir;
    const std::string mountPoint = dir.file("small");
    std::filesystem::create_directory(mountPoint);
    int pipeFds[2];
    ASSERT_EQ(::pipe2(pipeFds, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string result;
        try {
            result = saveOnFullFileSystem(mountPoint);
        } catch (const std::exception& e) {
            result = std::string("setup failed: ") + e.what();
        }
        const bool sent = ::write(pipeFds[1], result.data(), result.size()) ==
                          static_cast<ssize_t>(result.size());
        ::_exit(sent ? 0 : 1);
    }
    ::close(pipeFds[1]);
    std::string result;
    char buffer[512];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) {
        result.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    if (result.rfind("SKIP ", 0) == 0) {
        GTEST_SKIP() << "needs root or user namespaces to mount a small tmpfs: "
                     << result.substr(5);
    }
    EXPECT_EQ(result, "code=" + std::to_string(qxerr::qxapalerr_osFault) +
                          " line=87 errno=" + std::to_string(ENOSPC) + " intact=1 temporaries=0");
}

}  // namespace
