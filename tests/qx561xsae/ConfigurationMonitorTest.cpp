// SPDX-License-Identifier: MIT
// The monitor thread over a scratch directory and an in-process data store: what it
// reports after a change, in which order, and that nothing stops it but its owner.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include <unistd.h>

#include "platform/qxerr/Exception.h"
#include "qx561xsae/cConfigurationMonitor.h"
#include "sysapicpp/HResultException.h"
#include "tests/support/TempDir.h"
#include "tests/qx561xsae/FakeDataStore.h"

using namespace qx561xsae;
using namespace std::chrono_literals;

namespace {

// What the monitor told the cache and the host, one line per call, in call order.
class Reports {
public:
    void add(const std::string& who, int32_t type, const std::vector<std::string>& names) {
        std::string line = who + " " + std::to_string(type);
        for (const std::string& name : names) line += " " + name;
        std::lock_guard<std::mutex> guard(mutex_);
        lines_.push_back(line);
    }
    std::vector<std::string> lines() {
        std::lock_guard<std::mutex> guard(mutex_);
        return lines_;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

class RecordingCache : public sysapicpp::ItemCacheInterface {
public:
    explicit RecordingCache(Reports& reports) : reports_(reports) {}
    void reportChange(int32_t type, const std::vector<std::string>& names) override {
        reports_.add("cache", type, names);
    }
    void reportChange(int32_t type, const std::string& name) override { reportChange(type, std::vector<std::string>{name}); }
    void refresh() override {}
    void getItemNames(std::vector<std::string>&) override {}
    bool isEmpty() override { return true; }
    sysapicpp::ItemRef getItem(const std::string&) override { return nullptr; }
    bool hasItem(const std::string&) override { return false; }
    std::vector<sysapicpp::ItemRef> getAllItems() override { return {}; }
    void addedItems(const std::vector<std::string>&) override {}
    void addedItem(const std::string&) override {}
    void changedItems(const std::vector<std::string>&) override {}
    void changedItem(const std::string&) override {}
    void removedItems(const std::vector<std::string>&) override {}
    void removedItem(const std::string&) override {}

private:
    Reports& reports_;
};

class RecordingHandler : public sysapicpp::NotificationHandler {
public:
    explicit RecordingHandler(Reports& reports) : reports_(reports) {}
    sysapicpp::HRESULT notify(int32_t type, const std::vector<std::string>& names) override {
        reports_.add("host", type, names);
        return sysapicpp::S_OK;
    }
    bool isListening() override { return true; }

private:
    Reports& reports_;
};

template <class Condition>
bool eventually(Condition condition) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

class MonitorTest : public testing::Test {
protected:
    MonitorTest() {
        store->portsAsListed = true;
        store->addBoard("device:a", {}, {{"port:a1", qxtest::portRecord("device:a", 0, false)},
                                         {"port:a2", qxtest::portRecord("device:a", 1, false)}});
        store->addBoard("device:b", {}, {{"port:b1", qxtest::portRecord("device:b", 2, true)}});
    }

    std::unique_ptr<cConfigurationMonitor> start() {
        auto monitor = std::make_unique<cConfigurationMonitor>(
            dir.path(), store, std::make_shared<RecordingCache>(reports),
            std::make_shared<RecordingHandler>(reports), deviceDirectory);
        EXPECT_TRUE(eventually([&] { return store->listings >= 1; }));
        // The first pass reads the ports after listing; a later listing means it is done.
        touchAndWaitForPass("settle");
        return monitor;
    }

    // Changes something in the watched directory and waits until a pass has listed again.
    void touchAndWaitForPass(const std::string& file = "configuration.ini") {
        const int before = store->listings;
        dir.write(file, "x");
        ASSERT_TRUE(eventually([&] { return store->listings > before; }));
    }

    // Passes run one after another, so once a later one has listed, the first has reported.
    std::vector<std::string> reportsAfterPass(const std::string& file = "configuration.ini") {
        touchAndWaitForPass(file);
        touchAndWaitForPass("settle");
        return reports.lines();
    }

    template <class Change>
    void change(Change change) {
        std::lock_guard<std::mutex> guard(store->mutex);
        change(*store);
    }

    qxtest::TempDir dir;
    qxtest::TempDir devices;  // stands for /dev
    std::string deviceDirectory = devices.path();
    std::shared_ptr<qxtest::FakeDataStore> store = std::make_shared<qxtest::FakeDataStore>();
    Reports reports;
};

TEST_F(MonitorTest, ReportsAddedThenRemovedThenChangedToTheCacheBeforeTheHost) {
    auto monitor = start();
    change([](qxtest::FakeDataStore& s) {
        // Board a goes; board c arrives; b1's receive level changes in the file.
        s.names = {"device:c", "port:c1", "device:b", "port:b1"};
        s.ports["port:c1"] = qxtest::portRecord("device:c", 5, false);
        s.ports["port:b1"].rxFifoDepth = 10;
    });
    EXPECT_EQ(reportsAfterPass(), (std::vector<std::string>{
                                      "cache 1 device:c port:c1", "host 1 device:c port:c1",
                                      "cache 2 device:a port:a1 port:a2",
                                      "host 2 device:a port:a1 port:a2",
                                      "cache 3 port:b1", "host 3 port:b1"}));
}

// A board's port nodes that appear or vanish start a pass of their own: the configuration
// directory sees nothing.
TEST_F(MonitorTest, PortNodesThatComeAndGoAreReportedWithoutAChangeOfConfiguration) {
    auto monitor = start();
    change([](qxtest::FakeDataStore& s) {
        s.names.insert(s.names.end(), {"device:c", "port:c1"});
        s.ports["port:c1"] = qxtest::portRecord("device:c", 5, false);
    });
    devices.write("ttyQX561xPort5", "");
    EXPECT_TRUE(eventually([&] { return reports.lines().size() == 2; }));
    change([](qxtest::FakeDataStore& s) { s.names.resize(s.names.size() - 2); });
    ::unlink(devices.file("ttyQX561xPort5").c_str());
    EXPECT_TRUE(eventually([&] { return reports.lines().size() == 4; }));
    EXPECT_EQ(reports.lines(), (std::vector<std::string>{
                                   "cache 1 device:c port:c1", "host 1 device:c port:c1",
                                   "cache 2 device:c port:c1", "host 2 device:c port:c1"}));
}

// Where /dev cannot be watched, boards are noticed at the next change of configuration,
// and the trace says so once.
TEST_F(MonitorTest, WithoutPortNodesToWatchTheConfigurationIsWatchedAlone) {
    deviceDirectory = devices.file("missing");
    testing::internal::CaptureStderr();
    auto monitor = start();
    EXPECT_EQ(reportsAfterPass("unrelated.txt"), std::vector<std::string>{});
    monitor.reset();
    const std::string trace = testing::internal::GetCapturedStderr();
    EXPECT_EQ(trace.rfind("qx561xsae: port nodes in " + deviceDirectory +
                              " cannot be watched; boards that come or go are noticed at the "
                              "next change in " + dir.path() + ": {\"error_constant\":",
                          0),
              0u) << trace;
    EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 1) << trace;
}

TEST_F(MonitorTest, AnUnrelatedChangeReportsNothing) {
    auto monitor = start();
    EXPECT_TRUE(reportsAfterPass("unrelated.txt").empty());
}

TEST_F(MonitorTest, FailuresKeepTheLastListingAndTheThreadGoesOn) {
    auto monitor = start();
    change([](qxtest::FakeDataStore& s) { s.failListing = true; });
    EXPECT_TRUE(reportsAfterPass().empty());

    change([](qxtest::FakeDataStore& s) {
        s.failListing = false;
        s.unreadable.insert("port:a1");
        s.ports["port:a1"].rxFifoDepth = 1;
        s.ports["port:a2"].rxFifoDepth = 2;
    });
    // a1 cannot be read now: its old record stands, so it is not reported yet.
    EXPECT_EQ(reportsAfterPass(), (std::vector<std::string>{"cache 3 port:a2", "host 3 port:a2"}));

    change([](qxtest::FakeDataStore& s) { s.unreadable.clear(); });
    EXPECT_EQ(reportsAfterPass(),
              (std::vector<std::string>{"cache 3 port:a2", "host 3 port:a2", "cache 3 port:a1",
                                        "host 3 port:a1"}));
}

// The monitor waits for a change without a time limit: a stop that did not wake it would
// not end at all. The bound is for a hang, not for the machine's speed.
TEST_F(MonitorTest, StopsPromptlyWhileWaiting) {
    auto monitor = start();
    const auto begin = std::chrono::steady_clock::now();
    monitor.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, 2000ms);
}

// The directory missing at the start, made anew, gone with its parent: the monitor waits
// for it, says so on the trace, and tells of the changes once it is back. While it can
// watch nothing, it says why to every caller that asks.
TEST_F(MonitorTest, ADirectoryThatIsMissingOrMadeAnewIsWatchedOnceItIsThere) {
    namespace fs = std::filesystem;
    const std::string parent = dir.mkdir("etc");
    const std::string watched = parent + "/qxserial";
    auto passes = [&] { return store->listings.load(); };
    auto hostReports = [&] {
        const std::vector<std::string> lines = reports.lines();
        return std::count(lines.begin(), lines.end(), "host 3 port:b1");
    };
    testing::internal::CaptureStderr();
    auto monitor = std::make_unique<cConfigurationMonitor>(
        watched, store, std::make_shared<RecordingCache>(reports),
        std::make_shared<RecordingHandler>(reports));
    EXPECT_TRUE(eventually([&] { return passes() >= 1; }));

    fs::create_directory(watched);
    EXPECT_TRUE(eventually([&] { return passes() >= 2; }));
    change([](qxtest::FakeDataStore& s) { s.ports["port:b1"].rxFifoDepth = 10; });
    fs::remove_all(watched);
    fs::create_directory(watched);
    EXPECT_TRUE(eventually([&] { return hostReports() == 1; }));
    change([](qxtest::FakeDataStore& s) { s.ports["port:b1"].rxFifoDepth = 11; });
    dir.write("etc/qxserial/configuration.ini", "x");
    EXPECT_TRUE(eventually([&] { return hostReports() == 2; })) << "deaf after the directory was made anew";

    auto watching = [&] {
        try {
            monitor->checkWatching();
            return true;
        } catch (const qxerr::Exception& e) {
            EXPECT_EQ(e.getCode(), qxerr::qxapalerr_osFault);
            return false;
        }
    };
    EXPECT_TRUE(watching());
    fs::remove_all(parent);
    EXPECT_TRUE(eventually([&] { return !watching(); }));
    fs::create_directories(watched);
    EXPECT_TRUE(eventually(watching));
    change([](qxtest::FakeDataStore& s) { s.ports["port:b1"].rxFifoDepth = 12; });
    dir.write("etc/qxserial/configuration.ini", "x");
    EXPECT_TRUE(eventually([&] { return hostReports() == 3; }));
    monitor.reset();

    const std::string trace = testing::internal::GetCapturedStderr();
    const std::string said = "qx561xsae: configuration directory " + watched;
    EXPECT_EQ(trace.rfind(said + " does not exist; watching " + parent + " until it is made\n" +
                              said + " is watched again\n", 0), 0u) << trace;
    EXPECT_NE(trace.find(said + " cannot be watched, nor " + parent +
                         "; plug-in calls fail until it can be: {\"error_constant\":"
                         "\"qxapalerr_osFault\""), std::string::npos) << trace;
    const std::string last = said + " is watched again\n";
    EXPECT_EQ(trace.substr(trace.size() - std::min(trace.size(), last.size())), last) << trace;
}

TEST(Monitor, RefusesWhatItCannotWatchOrReport) {
    qxtest::TempDir dir;
    auto store = std::make_shared<qxtest::FakeDataStore>();
    Reports reports;
    auto cache = std::make_shared<RecordingCache>(reports);
    auto handler = std::make_shared<RecordingHandler>(reports);
    // A missing directory is waited for; one whose parent is missing too cannot be.
    EXPECT_THROW(cConfigurationMonitor(dir.file("missing/deeper"), store, cache, handler),
                 qxerr::Exception);
    const struct {
        std::shared_ptr<iSerialDataStore> store;
        std::shared_ptr<sysapicpp::ItemCacheInterface> cache;
        std::shared_ptr<sysapicpp::NotificationHandler> handler;
        int32_t line;
    } cases[] = {{nullptr, cache, handler, 220}, {store, nullptr, handler, 225},
                 {store, cache, nullptr, 230}};
    for (const auto& c : cases) {
        try {
            cConfigurationMonitor(dir.path(), c.store, c.cache, c.handler);
            ADD_FAILURE() << "line " << c.line;
        } catch (const sysapicpp::FailException& e) {
            EXPECT_EQ(qxerr::reportGetInt(e.report(), "line"), c.line);
        }
    }
}

}  // namespace
