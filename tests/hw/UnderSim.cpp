#include "tests/hw/UnderSim.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace hwtest {
namespace {

constexpr const char kMarker[] = "QX_HW_TEST_INSIDE_SIM";

std::string selfPath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// Runs argv with the extra environment; returns the exit status and the merged output.
int run(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
        std::string& output) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::dup2(fds[1], 2);
        for (const std::string& entry : environment) ::putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> args;
        for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        std::fprintf(stderr, "cannot run %s: %s\n", args[0], std::strerror(errno));
        ::_exit(127);
    }
    ::close(fds[1]);
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR))
        if (n > 0) output.append(buffer, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

bool insideSim() { return std::getenv(kMarker) != nullptr; }

void rerunUnderSim(const std::string& boardFile, const std::vector<std::string>& extraEnvironment) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    const std::string qxsim = std::string(QX_BUILD_DIR) + "/sim/qxsim";
    ASSERT_EQ(::access(qxsim.c_str(), X_OK), 0) << "qxsim not built at " << qxsim;

    std::vector<std::string> environment = extraEnvironment;
    environment.push_back(std::string(kMarker) + "=1");
    std::string output;
    const int status =
        run({qxsim, "--boards", std::string(QX_TEST_DATA_DIR) + "/" + boardFile, "--", selfPath(),
             filter},
            environment, output);
    EXPECT_EQ(status, 0) << output;
    // A filter that matched nothing would pass without testing anything.
    EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
}

std::string testPxiLibraryDirectory() {
#ifdef QX_TEST_PXI_LIBRARY_DIR
    return QX_TEST_PXI_LIBRARY_DIR;
#else
    return {};
#endif
}

}  // namespace hwtest
