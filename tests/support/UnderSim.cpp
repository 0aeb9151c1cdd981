// SPDX-License-Identifier: MIT
#include "tests/support/UnderSim.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/Sim.h"

namespace qxtest {
namespace {

constexpr const char kMarker[] = "QX_HW_TEST_INSIDE_SIM";

std::string selfPath() {
    char buffer[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

}  // namespace

bool insideSim() { return std::getenv(kMarker) != nullptr; }

void rerunUnderSim(const std::string& boardFile, const std::vector<std::string>& extraEnvironment) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::vector<std::string> command{"/usr/bin/env", std::string(kMarker) + "=1"};
    command.insert(command.end(), extraEnvironment.begin(), extraEnvironment.end());
    command.push_back(selfPath());
    command.push_back(std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name());

    const Sim sim = qxtest::Sim::withFile(std::string(QX_TEST_DATA_DIR) + "/" + boardFile);
    const RunResult result = sim.run(command);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    // A filter that matched nothing would pass without testing anything.
    EXPECT_NE(result.out.find("[  PASSED  ] 1 test."), std::string::npos)
        << result.out << result.err;
}

std::string testPxiLibraryDirectory() {
#ifdef QX_TEST_PXI_LIBRARY_DIR
    return QX_TEST_PXI_LIBRARY_DIR;
#else
    return {};
#endif
}

}  // namespace qxtest
