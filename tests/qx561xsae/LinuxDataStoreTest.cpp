// SPDX-License-Identifier: MIT
// The data store over an in-process hardware model, a scratch configuration file and a
// stand-in tool that records how it was started.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "platform/qxerr/Exception.h"
#include "qx561xsae/ItemNames.h"
#include "qx561xsae/cLinuxDataStore.h"
#include "tests/support/ProcessGone.h"
#include "tests/support/TempDir.h"

using namespace qx561xsae;

namespace {

struct FakeBoard {
    uint32_t deviceId;
    std::string slotPath;
    std::vector<std::string> ports;
};

using Machine = std::map<std::string, FakeBoard>;  // by device path, in listing order

class FakeDevices : public qx561x::iDeviceEnumerator {
public:
    explicit FakeDevices(const Machine& machine) : machine_(machine) {}
    std::vector<std::string> enumerateDevices() override {
        std::vector<std::string> paths;
        for (const auto& board : machine_) paths.push_back(board.first);
        return paths;
    }

private:
    const Machine& machine_;
};

class FakePorts : public qx561x::iPortEnumerator {
public:
    FakePorts(const Machine& machine, std::atomic<int>& listings)
        : machine_(machine), listings_(listings) {}
    std::vector<std::string> enumeratePorts(const std::string& device) override {
        ++listings_;
        const auto board = machine_.find(device);
        return board == machine_.end() ? std::vector<std::string>{} : board->second.ports;
    }

private:
    const Machine& machine_;
    std::atomic<int>& listings_;
};

class FakeEnumerators : public qx561x::iEnumeratorFactory {
public:
    FakeEnumerators(const Machine& machine, std::atomic<int>& portListings)
        : machine_(machine), portListings_(portListings) {}
    std::unique_ptr<qx561x::iDeviceEnumerator> createDeviceEnumerator() override {
        return std::make_unique<FakeDevices>(machine_);
    }
    std::unique_ptr<qx561x::iPortEnumerator> createPortEnumerator() override {
        return std::make_unique<FakePorts>(machine_, portListings_);
    }

private:
    const Machine& machine_;
    std::atomic<int>& portListings_;
};

class FakeDevice : public qx561x::iDevicePropertyAccessor {
public:
    FakeDevice(std::string path, const FakeBoard& board) : path_(std::move(path)), board_(board) {}
    std::string getDevicePath() override { return path_; }
    std::string getPciSlotPath() override { return board_.slotPath; }
    uint32_t getPciDeviceId() override { return board_.deviceId; }
    uint32_t getPciBusNumber() override { return 3; }
    uint32_t getPciDeviceNumber() override { return 4; }
    uint32_t getPciFunctionNumber() override { return 1; }
    std::string getSerialNumber() override { return "SN-" + board_.slotPath; }
    std::string getModelName() override { return "model " + std::to_string(board_.deviceId); }
    std::string getDescription() override { return "described"; }
    int32_t getPortCount() override { return static_cast<int32_t>(board_.ports.size()); }
    uint32_t getBusType() override { return 5; }

private:
    std::string path_;
    FakeBoard board_;
};

class FakePort : public qx561x::iPortPropertyAccessor {
public:
    FakePort(std::string device, std::string name, std::size_t number, const FakeBoard& board)
        : device_(std::move(device)), name_(std::move(name)), number_(number), board_(board) {}
    std::string getDevicePath() override { return device_; }
    std::string getPortDevicePath() override { return "/dev/" + name_.substr(name_.rfind('/') + 1); }
    std::string getPortIdentifier() override {
        std::ostringstream id;
        id << "qx561x:" << std::hex << board_.deviceId << ":" << board_.slotPath << ":"
           << std::dec << number_;
        return id.str();
    }
    std::size_t getPortNumber() override { return number_; }
    uint32_t getRxFifoDepthMin() override { return 1; }
    uint32_t getRxFifoDepthMax() override { return 127; }
    uint32_t getRxFifoDepthDefault() override { return 64; }
    uint32_t getTxFifoDepthMin() override { return 1; }
    uint32_t getTxFifoDepthMax() override { return 128; }
    uint32_t getTxFifoDepthDefault() override { return 128; }
    bool isRs232() override { return false; }

private:
    std::string device_;
    std::string name_;
    std::size_t number_;
    FakeBoard board_;
};

class FakeAccessors : public qx561x::iPropertyAccessorFactory {
public:
    explicit FakeAccessors(const Machine& machine) : machine_(machine) {}
    std::unique_ptr<qx561x::iDevicePropertyAccessor> createDevicePropertyAccessor(
        const std::string& path) override {
        return std::make_unique<FakeDevice>(path, machine_.at(path));
    }
    std::unique_ptr<qx561x::iPortPropertyAccessor> createPortPropertyAccessor(
        const std::string& name) override {
        for (const auto& [device, board] : machine_)
            for (std::size_t i = 0; i < board.ports.size(); ++i)
                if (board.ports[i] == name) return std::make_unique<FakePort>(device, name, i + 1, board);
        qxerr::raise(qxerr::qxapalerr_resourceNotFound, {"test", 1, "test", "no such port"});
    }
    std::unique_ptr<qx561x::iPortPropertyAccessor> createPortPropertyAccessor(
        const std::string& name, const qx561x::BoardAccessorSource&,
        std::unique_ptr<qx561x::iEnumeratorFactory>) override {
        return createPortPropertyAccessor(name);
    }

private:
    const Machine& machine_;
};

const std::string kBoard = "/sys/devices/pci0000:00/0000:03:00.0";
const std::string kPort = kBoard + "/tty/ttyQX561xPort4";

// The tool's stand-in writes its arguments, NUL-separated, and whether descriptor 9 of the
// plug-in's host reached it; it exits with the status kept in a file.
class DataStoreTest : public testing::Test {
protected:
    DataStoreTest() {
        machine[kBoard] = {0x7019, "3", {kPort, kBoard + "/tty/ttyQX561xPort5"}};
        machine["/sys/devices/pci0000:00/0000:04:00.0"] = {0x7017, "4", {}};
        const std::string script = dir.write("tool",
            "#!/bin/sh\n"
            "printf '%s\\0' \"$@\" > '" + dir.file("args") + "'\n"
            "if [ -e /proc/$$/fd/9 ]; then echo leaked; else echo clean; fi > '" + dir.file("fds") + "'\n"
            "exit $(cat '" + dir.file("status") + "')\n");
        const std::string killed = dir.write("killed-tool", "#!/bin/sh\nkill -9 $$\n");
        // Hangs, and what it started with it.
        const std::string hanging = dir.write("hanging-tool",
            "#!/bin/sh\nsleep 60 &\necho $! > '" + dir.file("child") + "'\nsleep 60\n");
        ::chmod(script.c_str(), 0755);
        ::chmod(killed.c_str(), 0755);
        ::chmod(hanging.c_str(), 0755);
        dir.write("status", "0");
    }

    // No system log listens where it writes: these saves are no one's to audit.
    cLinuxDataStore store(const std::string& tool,
                          std::chrono::milliseconds limit = cLinuxDataStore::kToolTimeLimit) {
        return cLinuxDataStore(std::make_unique<FakeEnumerators>(machine, portListings),
                               std::make_unique<FakeAccessors>(machine), tool, configuration(),
                               limit, dir.file("no-system-log"));
    }
    std::string configuration() const { return dir.file("configuration.ini"); }
    std::string read(const std::string& name) const {
        std::ifstream in(dir.file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    qxtest::TempDir dir;
    Machine machine;
    std::atomic<int> portListings{0};  // boards whose ports were listed
};

TEST_F(DataStoreTest, ListsEachBoardFollowedByItsPorts) {
    auto ds = store(dir.file("tool"));
    EXPECT_EQ(ds.listItemNames(),
              (std::vector<std::string>{makeDeviceName(kBoard), makePortName(kPort),
                                        makePortName(kBoard + "/tty/ttyQX561xPort5"),
                                        makeDeviceName("/sys/devices/pci0000:00/0000:04:00.0")}));
    const tDeviceInfo board = ds.getDeviceInfo(makeDeviceName(kBoard));
    EXPECT_EQ(board.itemName, makeDeviceName(kBoard));
    EXPECT_EQ(board.serialNumber, "SN-3");
    EXPECT_EQ(board.pciDeviceId, 0x7019u);
    EXPECT_EQ(board.portCount, 2);
}

TEST_F(DataStoreTest, ReportsTheFileThenTheDefaultsThenTheBuiltInValues) {
    auto ds = store(dir.file("tool"));
    const std::string name = makePortName(kPort);
    tPortInfo info = ds.getPortInfo(name);
    EXPECT_EQ(info.parentDeviceName, makeDeviceName(kBoard));
    EXPECT_EQ(info.portDevicePath, "/dev/ttyQX561xPort4");
    EXPECT_EQ(info.portNumber, 1u);
    EXPECT_EQ(std::make_tuple(info.rxFifoDepth, info.txFifoDepth, info.rs485TransceiverMode),
              std::make_tuple(64u, 128u, 3u));

    dir.write("configuration.ini", "[qx561x:7019:3:1]\nFifoRxDepth=12\nRs485TransceiverMode=9\n");
    dir.write("configuration_defaults.ini", "[defaults]\nFifoTxDepth=7\n");
    info = ds.getPortInfo(name);
    EXPECT_EQ(std::make_tuple(info.rxFifoDepth, info.txFifoDepth, info.rs485TransceiverMode),
              std::make_tuple(12u, 7u, 4u));
}

// A read scope answers as of its first read, on its own thread (and, for the first scope,
// on the threads whose scopes began while it lasted), and only while it lasts: nothing it
// read outlives it.
TEST_F(DataStoreTest, AReadScopeAnswersAsOfOneMomentOnItsThreadWhileItLasts) {
    auto ds = store(dir.file("tool"));
    const std::string name = makePortName(kPort);
    const auto rx = [&] { return ds.getPortInfo(name).rxFifoDepth; };
    const auto rxElsewhere = [&](bool inScope) {
        uint32_t value = 0;
        std::thread([&] {
            const std::unique_ptr<iReadScope> scope = inScope ? ds.beginReadScope() : nullptr;
            value = rx();
        }).join();
        return value;
    };
    const auto ports = [&] { return ds.listItemNames().size(); };
    {
        const std::unique_ptr<iReadScope> scope = ds.beginReadScope();
        ASSERT_NE(scope, nullptr);
        EXPECT_EQ(ds.beginReadScope(), nullptr);  // nested: part of the outer one
        EXPECT_EQ(rx(), 64u);
        EXPECT_EQ(ports(), 4u);
        dir.write("configuration.ini", "[qx561x:7019:3:1]\nFifoRxDepth=12\n");
        machine[kBoard].ports.pop_back();
        EXPECT_EQ(rx(), 64u);
        EXPECT_EQ(ports(), 4u);
        EXPECT_EQ(rxElsewhere(false), 12u);
        EXPECT_EQ(rxElsewhere(true), 64u);  // joins the first scope
    }
    EXPECT_EQ(rx(), 12u);
    EXPECT_EQ(ports(), 3u);
    const std::unique_ptr<iReadScope> next = ds.beginReadScope();
    EXPECT_EQ(rx(), 12u);
    dir.write("configuration.ini", "[qx561x:7019:3:1]\nFifoRxDepth=13\n");
    EXPECT_EQ(rxElsewhere(true), 13u);  // later scopes keep to themselves
}

// Threads that join the first scope at once (a new host and the monitor) list each board's
// ports once between them and see the same listing and records.
TEST_F(DataStoreTest, ThreadsInTheFirstScopeListEachBoardOnce) {
    auto ds = store(dir.file("tool"));
    std::vector<std::vector<std::string>> names(8);
    std::vector<uint32_t> rx(8);
    {
        const std::unique_ptr<iReadScope> first = ds.beginReadScope();
        std::vector<std::thread> threads;
        for (std::size_t i = 0; i < names.size(); ++i)
            threads.emplace_back([&, i] {
                const std::unique_ptr<iReadScope> scope = ds.beginReadScope();
                names[i] = ds.listItemNames();
                rx[i] = ds.getPortInfo(makePortName(kPort)).rxFifoDepth;
            });
        for (std::thread& thread : threads) thread.join();
    }
    EXPECT_EQ(portListings.load(), 2);  // two boards
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], names[0]);
        EXPECT_EQ(rx[i], 64u);
    }
    EXPECT_EQ(names[0].size(), 4u);
}

TEST_F(DataStoreTest, SavesTheSettingsAndStartsTheToolWithTheNameAsOneArgument) {
    const std::string hostile = kBoard + "/tty\"&$(touch pwned);`id`\\ ;/ttyQX561xPort4";
    machine[kBoard].ports = {hostile};
    const int inherited = ::open("/dev/null", O_RDONLY);  // no close-on-exec
    ASSERT_EQ(::dup2(inherited, 9), 9);
    auto ds = store(dir.file("tool"));
    tPortInfo info = ds.getPortInfo(makePortName(hostile));
    info.rxFifoDepth = 32;
    info.txFifoDepth = 100;
    info.rs485TransceiverMode = 1;
    ds.savePortConfiguration(makePortName(hostile), info);
    ::close(9);
    ::close(inherited);

    EXPECT_EQ(read("configuration.ini"),
              "[qx561x:7019:3:1]\nFifoRxDepth=32\nFifoTxDepth=100\nRs485TransceiverMode=1\n");
    const std::string expected = std::string("--port\0", 7) + hostile + std::string("\0", 1) +
                                 std::string("--config-file\0", 14) + configuration() +
                                 std::string("\0", 1);
    EXPECT_EQ(read("args"), expected);
    EXPECT_EQ(read("fds"), "clean\n");
    EXPECT_FALSE(std::ifstream(dir.file("pwned")).good());
}

// A tool that fails, dies, is missing or hangs past the time limit (killed then, with what
// it started) fails the save, after the file was written.
TEST_F(DataStoreTest, AToolFailureIsReportedAfterTheFileWasWritten) {
    constexpr std::chrono::milliseconds kLimit{1000};
    const struct {
        const char* tool;
        const char* status;
    } failures[] = {{"tool", "1"}, {"killed-tool", "0"}, {"no-such-tool", "0"}, {"hanging-tool", "0"}};
    for (const auto& f : failures) {
        SCOPED_TRACE(f.tool + std::string(" ") + f.status);
        ::unlink(configuration().c_str());
        dir.write("status", f.status);
        auto ds = store(dir.file(f.tool), kLimit);
        tPortInfo info = ds.getPortInfo(makePortName(kPort));
        info.rxFifoDepth = 5;
        const auto begin = std::chrono::steady_clock::now();
        try {
            ds.savePortConfiguration(makePortName(kPort), info);
            ADD_FAILURE() << "the failure was reported as success";
        } catch (const qxerr::Exception& e) {
            EXPECT_EQ(e.getCode(), qxerr::qxapalerr_softwareFaultAPALInternalUseOnly);
            EXPECT_EQ(qxerr::reportGetInt(e.what(), "line"), 163);
            EXPECT_EQ(qxerr::reportGetString(e.what(), qxerr::kComponent),
                      "error occurred when invoking qxserialconfig");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - begin, kLimit + std::chrono::seconds(5));
        EXPECT_NE(read("configuration.ini").find("FifoRxDepth=5"), std::string::npos);
    }
    const std::string child = read("child");
    ASSERT_FALSE(child.empty());
    EXPECT_TRUE(qxtest::processEnds(child.substr(0, child.find('\n')))) << "left running: " << child;
}

}  // namespace
