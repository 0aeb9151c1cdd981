// SPDX-License-Identifier: MIT
#include "platform/qxapal/protons/cppNewDelete/memoryAllocation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

// An impossible request must come back as null, not abort the sanitizer build.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

using namespace qxapal;

TEST(Allocation, ReturnsUsableMemory) {
    tStatus status;
    void* block = allocate(64, &status);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0xA5, 64);
    EXPECT_EQ(status.code, 0);
    deallocate(block);
    void* empty = allocate(0, &status);
    EXPECT_NE(empty, nullptr);
    deallocate(empty);
}

TEST(Allocation, ExhaustionIsReportedAtItsSite) {
    tStatus status;
    EXPECT_EQ(allocate(SIZE_MAX - 4096, &status), nullptr);
    EXPECT_EQ(status.code, qxerr::qxapalerr_memoryFull);
    EXPECT_STREQ(status.file, "qxapal/protons/cppNewDelete/memoryAllocation");
    EXPECT_EQ(status.line, 329u);
    EXPECT_STREQ(status.component, "qx561xsae");
}

TEST(Allocation, DoesNothingOnceStatusHoldsAnError) {
    tStatus status;
    status.code = qxerr::qxapalerr_osFault;
    EXPECT_EQ(allocate(16, &status), nullptr);
    EXPECT_EQ(status.code, qxerr::qxapalerr_osFault);
}
