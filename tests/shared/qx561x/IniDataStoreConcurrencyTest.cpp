// SPDX-License-Identifier: MIT
// Several processes saving into one file, and savers killed mid-save.

#include "shared/qx561x/cIniDataStore.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <random>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <boost/property_tree/ini_parser.hpp>
#include <gtest/gtest.h>

#include "platform/qxafa/UniqueFd.h"
#include "tests/shared/qx561x/SaveLoop.h"
#include "tests/shared/qx561x/StoreTestSupport.h"

namespace {

using qx561x::cIniDataStore;
using storetest::TempDir;

struct Saver {
    pid_t pid = -1;
    qxafa::UniqueFd output;  // one byte arrives after the first save
};

Saver startSaver(const std::string& path, const std::string& port, unsigned long first,
                 unsigned long count) {
    const std::string firstText = std::to_string(first);
    const std::string countText = std::to_string(count);
    const char* argv[] = {QX_STORE_SAVER, path.c_str(), port.c_str(), firstText.c_str(),
                          countText.c_str(), nullptr};
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFds[1], 1);
        ::execv(QX_STORE_SAVER, const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    return {pid, qxafa::UniqueFd(pipeFds[0])};
}

// A forked copy of this process saving until killed: far quicker to start than a
// program, which matters for hundreds of kills under the sanitizers.
Saver forkSaver(const std::string& path, const std::string& port, unsigned long first) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return {};
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(pipeFds[0]);
        bool ok = false;
        try {
            ok = storetest::saveLoop(path, port, first, 0, pipeFds[1]);
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    ::close(pipeFds[1]);
    return {pid, qxafa::UniqueFd(pipeFds[0])};
}

int waitExit(pid_t pid) {
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return status;
}

bool waitReady(const Saver& saver) {
    pollfd p{saver.output.get(), POLLIN, 0};
    char byte = 0;
    return ::poll(&p, 1, 30000) == 1 && ::read(saver.output.get(), &byte, 1) == 1;
}

// The three values of one save belong together: rx = i, tx = i + 1000, mode = i % 4.
void expectOneSave(const cIniDataStore& store, const std::string& port, uint32_t rx) {
    EXPECT_EQ(store.getFifoTxDepth(port), rx + 1000) << port;
    EXPECT_EQ(store.getRs485TransceiverMode(port), rx % 4) << port;
}

void expectOtherSectionKept(const std::string& path) {
    boost::property_tree::ptree tree;
    boost::property_tree::read_ini(path, tree);
    EXPECT_EQ(tree.get<std::string>("other.keep", "lost"), "1");
}

std::string portName(int k) { return "qx561x:7a01:3:" + std::to_string(k); }

TEST(StoreConcurrency, EightProcessesSaveTheirPortsWhileAReaderReads) {
    constexpr int kSavers = 8;
    constexpr unsigned long kSaves = 50;
    TempDir dir;
    const std::string path = dir.file("configuration.ini");
    storetest::writeFile(path, "[other]\nkeep=1\n");

    std::vector<Saver> savers;
    for (int k = 1; k <= kSavers; ++k) {
        savers.push_back(startSaver(path, portName(k), 0, kSaves));
        ASSERT_GT(savers.back().pid, 0);
    }
    std::map<int, uint32_t> lastSeen;
    int reads = 0;
    int running = kSavers;
    std::vector<int> exitStatus(kSavers, -1);
    while (running > 0) {
        try {
            const cIniDataStore store(path);
            ++reads;
            for (int k = 1; k <= kSavers; ++k) {
                const uint32_t rx = store.getFifoRxDepth(portName(k));
                if (rx == 64) {
                    continue;  // not saved yet
                }
                ASSERT_LT(rx, kSaves);
                // Going backwards would mean another saver overwrote this update.
                EXPECT_GE(rx, lastSeen[k]) << portName(k);
                lastSeen[k] = rx;
                expectOneSave(store, portName(k), rx);
            }
        } catch (const std::exception& e) {
            ADD_FAILURE() << "reader saw a broken file: " << e.what();
        }
        for (int k = 0; k < kSavers; ++k) {
            int status = 0;
            if (exitStatus[k] == -1 && ::waitpid(savers[k].pid, &status, WNOHANG) == savers[k].pid) {
                exitStatus[k] = status;
                savers[k].output.reset();
                --running;
            }
        }
    }
    EXPECT_GT(reads, 0);
    for (int k = 0; k < kSavers; ++k) {
        EXPECT_TRUE(WIFEXITED(exitStatus[k]) && WEXITSTATUS(exitStatus[k]) == 0)
            << portName(k + 1) << " saver status " << exitStatus[k];
    }
    const cIniDataStore store(path);
    for (int k = 1; k <= kSavers; ++k) {
        EXPECT_EQ(store.getFifoRxDepth(portName(k)), kSaves - 1) << portName(k);
        expectOneSave(store, portName(k), kSaves - 1);
    }
    expectOtherSectionKept(path);
    EXPECT_TRUE(storetest::temporaryFiles(dir.path()).empty());
}

// The tool and the plug-in exclude each other only through the file lock.
TEST(StoreConcurrency, ReadersAndSaversWaitForTheFileLock) {
    for (const bool holdExclusive : {true, false}) {
        SCOPED_TRACE(holdExclusive ? "reader waits for a writer" : "saver waits for a reader");
        TempDir dir(TempDir::memoryBackedBase());
        const std::string path = dir.file("configuration.ini");
        storetest::writeFile(path, "[qx561x:7a01:3:1]\nFifoRxDepth=5\n");
        const qxafa::UniqueFd held(::open(path.c_str(), O_RDWR | O_CLOEXEC));
        ASSERT_TRUE(held);
        ASSERT_EQ(::flock(held.get(), holdExclusive ? LOCK_EX : LOCK_SH), 0);
        std::atomic<bool> finished{false};
        std::thread user([&] {
            if (holdExclusive) {
                const cIniDataStore store(path);
            } else {
                cIniDataStore store;
                store.setFifoRxDepth(portName(1), 6);
                store.save(path);
            }
            finished = true;
        });
        ::usleep(200000);
        EXPECT_FALSE(finished);
        ::flock(held.get(), LOCK_UN);
        user.join();
        EXPECT_TRUE(finished);
        EXPECT_EQ(cIniDataStore(path).getFifoRxDepth(portName(1)), holdExclusive ? 5u : 6u);
    }
}

// Stores used by several threads of one process, one store per thread.
TEST(StoreConcurrency, ThreadsSaveTheirPortsWhileAnotherReads) {
    constexpr int kThreads = 4;
    constexpr unsigned long kSaves = 20;
    TempDir dir(TempDir::memoryBackedBase());
    const std::string path = dir.file("configuration.ini");
    storetest::writeFile(path, "[other]\nkeep=1\n");
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};
    std::thread reader([&] {
        while (!done) {
            try {
                const cIniDataStore store(path);
                const uint32_t rx = store.getFifoRxDepth(portName(1));
                if (rx != 64 && store.getFifoTxDepth(portName(1)) != rx + 1000) {
                    ++failures;
                }
            } catch (const std::exception&) {
                ++failures;
            }
        }
    });
    std::vector<std::thread> savers;
    for (int k = 1; k <= kThreads; ++k) {
        savers.emplace_back([&, k] {
            try {
                storetest::saveLoop(path, portName(k), 0, kSaves, -1);
            } catch (const std::exception&) {
                ++failures;
            }
        });
    }
    for (auto& saver : savers) {
        saver.join();
    }
    done = true;
    reader.join();
    EXPECT_EQ(failures, 0);
    const cIniDataStore store(path);
    for (int k = 1; k <= kThreads; ++k) {
        EXPECT_EQ(store.getFifoRxDepth(portName(k)), kSaves - 1) << portName(k);
        expectOneSave(store, portName(k), kSaves - 1);
    }
    expectOtherSectionKept(path);
}

TEST(StoreConcurrency, SaverKilledAtRandomMomentsNeverBreaksTheFile) {
    constexpr int kKills = 200;
    TempDir dir(TempDir::memoryBackedBase());
    const std::string path = dir.file("configuration.ini");
    const std::string port = portName(1);
    storetest::writeFile(path, "[other]\nkeep=1\n");

    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> delayUs(0, 3000);

    uint32_t next = 1;
    for (int kill = 0; kill < kKills; ++kill) {
        Saver saver = forkSaver(path, port, next);
        ASSERT_GT(saver.pid, 0);
        const bool ready = waitReady(saver);
        if (ready) {
            ::usleep(static_cast<useconds_t>(delayUs(random)));
        }
        ::kill(saver.pid, SIGKILL);
        const int status = waitExit(saver.pid);
        saver.output.reset();
        ASSERT_TRUE(ready) << "saver failed before its first save, status " << status;
        ASSERT_TRUE(WIFSIGNALED(status)) << "saver ended on its own, status " << status;

        // A killed saver may leave its replacement file; the next save removes it.
        ASSERT_LE(storetest::temporaryFiles(dir.path()).size(), 1u) << "after kill " << kill;
        try {
            const cIniDataStore store(path);
            const uint32_t rx = store.getFifoRxDepth(port);
            ASSERT_GE(rx, next) << "after kill " << kill;
            expectOneSave(store, port, rx);
            next = rx + 1;
        } catch (const std::exception& e) {
            FAIL() << "file broken after kill " << kill << ": " << e.what();
        }
        expectOtherSectionKept(path);
    }
    cIniDataStore store;
    store.setFifoRxDepth(port, 1);
    store.save(path);
    EXPECT_TRUE(storetest::temporaryFiles(dir.path()).empty());
}

}  // namespace
