// SPDX-License-Identifier: MIT
// Change latency: from the start of SetItemProperties2 of one port to the host's sink
// receiving that port's "changed", against the tool's own run time for the same port
// (interleaved). Also the cost of one monitor pass that finds nothing changed (a touched
// unrelated file), against the floor of a listing.
//   qxbench_change PLUGIN RUNS

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

#include "bench/BenchHost.h"
#include "host/HostError.h"
#include "host/HostObjects.h"
#include "host/PluginSession.h"
#include "platform/qx/dsc/Utf8.h"
#include "sysapicpp/cache/Item.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"
#include "sysapicpp/propbag/SystemAPIPropertyTags.h"

extern char** environ;

namespace {

using namespace qxbench;
using sysapicpp::PropertyBagHandle;

constexpr char kTool[] = "/usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig";
constexpr char kUnrelatedFile[] = "/etc/qxserial/bench-unrelated";
constexpr double kPatienceMs = 120000;

struct Received {
    std::mutex mutex;
    std::condition_variable arrived;
    std::multimap<std::string, int32_t> changes;  // name -> type

    void clear() {
        std::lock_guard<std::mutex> guard(mutex);
        changes.clear();
    }
    // True when the name arrived with the type in time.
    bool waitFor(const std::string& name, int32_t type) {
        std::unique_lock<std::mutex> guard(mutex);
        return arrived.wait_for(guard, std::chrono::duration<double, std::milli>(kPatienceMs), [&] {
            const auto [first, last] = changes.equal_range(name);
            for (auto it = first; it != last; ++it)
                if (it->second == type) return true;
            return false;
        });
    }
};

double runTool(const std::string& port) {
    std::string path = kTool, portOption = "--port", portArg = port, configOption = "--config-file",
                config = kConfigurationPath;
    char* argv[] = {path.data(), portOption.data(), portArg.data(), configOption.data(), config.data(),
                    nullptr};
    const double start = nowMs();
    pid_t child = 0;
    if (::posix_spawn(&child, kTool, nullptr, nullptr, argv, environ) != 0)
        throw std::runtime_error("cannot start the tool");
    int status = 0;
    ::waitpid(child, &status, 0);
    const double elapsed = nowMs() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("the tool failed");
    return elapsed;
}

struct Pass {
    double wallMs;
    double cpuMs;
};

// Touches a file the plug-in does not read and waits until the monitor has run its pass.
Pass unchangedPass(pid_t monitor) {
    const uint64_t cpuBefore = threadCpuNs(monitor);
    const double start = nowMs();
    if (::utimensat(AT_FDCWD, kUnrelatedFile, nullptr, 0) != 0)
        throw std::runtime_error("cannot touch the unrelated file");
    uint64_t cpu = cpuBefore;
    for (;;) {
        cpu = threadCpuNs(monitor);
        if (cpu != cpuBefore && isWaiting(monitor)) break;
        if (nowMs() - start > kPatienceMs) throw std::runtime_error("the monitor did not run");
        ::usleep(100);
    }
    return {nowMs() - start, (cpu - cpuBefore) / 1e6};
}

int run(const std::string& plugin, int runs) {
    const int unrelated = ::open(kUnrelatedFile, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (unrelated < 0) throw std::runtime_error("cannot create the unrelated file");
    ::close(unrelated);
    qxhost::PluginSession session(plugin);
    IcxSysExpert2& expert = session.expert();
    Received received;
    QXComPtr<qxhost::CHostNotificationSink> sink(CQXComObject<qxhost::CHostNotificationSink>::createInstance(
        [&received](int32_t type, const std::vector<std::string>& names) {
            std::lock_guard<std::mutex> guard(received.mutex);
            for (const std::string& name : names) received.changes.emplace(name, type);
            received.arrived.notify_all();
            return sysapicpp::S_OK;
        }));
    qxhost::check("SetNotificationSink", expert.SetNotificationSink(sink.get()));
    const pid_t monitor = findMonitorThread();
    waitMonitorIdle(monitor);

    const FloorListing floor = listFloor(kConfigurationPath);
    const auto bags = allItemProperties(expert);
    checkAgainstFloor(bags, floor);
    std::map<std::string, std::string> itemOfNode;
    for (const PropertyBagHandle& bag : bags)
        if (bag.hasProperty(sysapicpp::PortNode))
            itemOfNode[bag.getString(sysapicpp::PortNode)] = bag.getString(sysapicpp::Name);

    std::vector<double> latency, tool, setCall, passWall, passCpu, floorMs;
    for (int i = 0; i < runs; ++i) {
        const FloorPort& port = floor.ports[(static_cast<std::size_t>(i) * 37) % floor.ports.size()];
        const std::string& item = itemOfNode.at(port.node);
        const PropertyBagHandle request = PropertyBagHandle::createEmpty();
        const PropertyBagHandle before = [&] {
            IcxSysPropertyBag* raw = nullptr;
            const std::wstring wide = qx::dsc::toWide(item);
            qxhost::check("GetItemProperties", expert.GetItemProperties(wide.c_str(), &raw));
            PropertyBagHandle handle = PropertyBagHandle::fromObject(raw);
            raw->Release();
            return handle;
        }();
        // A value the port does not hold now, so that the change is real.
        const uint32_t rx = before.getUInt32(sysapicpp::RxFifoDepth) == 100 ? 101 : 100;
        request.setUInt32(sysapicpp::RxFifoDepth, rx);
        waitMonitorIdle(monitor, 20);
        received.clear();

        const std::wstring wide = qx::dsc::toWide(item);
        int32_t flag = 0;
        qx::dsc::HostStringHolder message;
        const double t0 = nowMs();
        qxhost::check("SetItemProperties2",
                      expert.SetItemProperties2(wide.c_str(), request.get(), &flag, message.receive()));
        const double t1 = nowMs();
        if (!received.waitFor(item, sysapicpp::kItemsChanged))
            throw std::runtime_error("no change notification for " + item);
        const double t2 = nowMs();
        latency.push_back(t2 - t0);
        setCall.push_back(t1 - t0);

        waitMonitorIdle(monitor, 20);
        tool.push_back(runTool(port.path));

        const Pass pass = unchangedPass(monitor);
        passWall.push_back(pass.wallMs);
        passCpu.push_back(pass.cpuMs);
        waitMonitorIdle(monitor, 20);
        const double f0 = nowMs();
        listFloor(kConfigurationPath);
        floorMs.push_back(nowMs() - f0);
    }
    qxhost::check("SetNotificationSink", expert.SetNotificationSink(nullptr));

    const double above = median(latency) - median(tool);
    std::printf("change of one port: %d interleaved runs\n", runs);
    std::printf("  SetItemProperties2 call          %8.2f ms\n", median(setCall));
    std::printf("  start of the call to \"changed\"   %8.2f ms\n", median(latency));
    std::printf("  the tool's own run               %8.2f ms\n", median(tool));
    std::printf("monitor pass that finds nothing changed\n");
    std::printf("  wall (touch to waiting again)    %8.2f ms\n", median(passWall));
    std::printf("  monitor thread CPU               %8.2f ms\n", median(passCpu));
    std::printf("  floor of a listing               %8.2f ms\n", median(floorMs));
    printFigure("change latency above tool", above, "ms", "< 20", above < 20);
    printFigure("change latency / tool", median(latency) / median(tool), "x", "", true);
    printFigure("monitor pass / floor", median(passWall) / median(floorMs), "x", "", true);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::atoi(argv[2]) > 0) return run(argv[1], std::atoi(argv[2]));
        std::fprintf(stderr, "usage: qxbench_change PLUGIN RUNS\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxbench_change: %s\n", e.what());
        return 1;
    }
}
