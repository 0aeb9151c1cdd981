// SPDX-License-Identifier: MIT
// The parsed configuration kept between a port's reads must never hide a change.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "qx561xsae/cConfigurationFileCache.h"
#include "tests/support/TempDir.h"

namespace {

using qx561xsae::cConfigurationFileCache;

std::string section(int rx) { return "[p]\nFifoRxDepth=" + std::to_string(rx) + "\n"; }

// Rewrites the file where it is, keeping its modification time, as some editors and
// copying tools do.
void rewriteInPlace(const std::string& path, const std::string& text) {
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    FILE* file = std::fopen(path.c_str(), "r+");
    ASSERT_NE(file, nullptr);
    std::fputs(text.c_str(), file);
    std::fclose(file);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Past the time after which a parse is kept.
void letSettle() { std::this_thread::sleep_for(std::chrono::milliseconds(150)); }

struct Change {
    const char* what;
    std::function<void(const qxtest::TempDir&)> make;
    uint32_t rxAfter;
};

TEST(ConfigurationFileCache, AChangeOfEitherFileIsSeenAtTheNextLoad) {
    const Change changes[] = {
        {"same size, same modification time", [](const qxtest::TempDir& dir) {
             rewriteInPlace(dir.file("c.ini"), section(22)); }, 22},
        {"replaced by rename", [](const qxtest::TempDir& dir) {
             dir.write("new.ini", section(33));
             ::rename(dir.file("new.ini").c_str(), dir.file("c.ini").c_str()); }, 33},
        {"removed", [](const qxtest::TempDir& dir) { ::unlink(dir.file("c.ini").c_str()); }, 44},
        {"defaults file changed", [](const qxtest::TempDir& dir) {
             rewriteInPlace(dir.file("c_defaults.ini"), "[defaults]\nFifoRxDepth=55\n");
             ::unlink(dir.file("c.ini").c_str()); }, 55},
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.what);
        qxtest::TempDir dir;
        dir.write("c.ini", section(11));
        dir.write("c_defaults.ini", "[defaults]\nFifoRxDepth=44\n");
        letSettle();
        cConfigurationFileCache cache;
        const auto first = cache.load(dir.file("c.ini"));
        ASSERT_EQ(first->getFifoRxDepth("p"), 11u);
        ASSERT_EQ(cache.load(dir.file("c.ini")), first) << "a settled file is parsed once";
        change.make(dir);
        EXPECT_EQ(cache.load(dir.file("c.ini"))->getFifoRxDepth("p"), change.rxAfter);
    }
}

// Within one clock tick a rewrite of the same size can leave every time as it was: a
// parse of a file that new is never kept.
TEST(ConfigurationFileCache, AFileChangedMomentsAgoIsParsedAgain) {
    qxtest::TempDir dir;
    dir.write("c.ini", section(11));
    cConfigurationFileCache cache;
    EXPECT_EQ(cache.load(dir.file("c.ini"))->getFifoRxDepth("p"), 11u);
    rewriteInPlace(dir.file("c.ini"), section(22));
    EXPECT_EQ(cache.load(dir.file("c.ini"))->getFifoRxDepth("p"), 22u);
}

TEST(ConfigurationFileCache, FailuresAreNotKept) {
    qxtest::TempDir dir;
    dir.write("c.ini", "FifoRxDepth\n");
    letSettle();
    cConfigurationFileCache cache;
    EXPECT_ANY_THROW(cache.load(dir.file("c.ini")));
    EXPECT_ANY_THROW(cache.load(dir.file("c.ini")));
    EXPECT_THROW(cache.load(dir.file("c.conf")), std::invalid_argument);
    dir.write("c.ini", section(12));
    EXPECT_EQ(cache.load(dir.file("c.ini"))->getFifoRxDepth("p"), 12u);
}

}  // namespace
