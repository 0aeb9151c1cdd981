// SPDX-License-Identifier: MIT
// Change latency: from the start of SetItemProperties2 of one port to the host's sink
// receiving that port's "changed", against the tool's own run time for the same port and
// the two fsyncs a save needs (interleaved). Also the cost of one monitor pass that finds
// nothing changed (a touched unrelated file), against the floor of a listing.
//   qxbench_change PLUGIN RUNS

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "bench/BenchHost.h"
#include "host/PluginSession.h"

extern char** environ;

namespace {

using namespace qxbench;

constexpr char kTool[] = "/usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig";
constexpr char kUnrelatedFile[] = "/etc/qxserial/bench-unrelated";
constexpr double kPatienceMs = 120000;

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

// What the two fsyncs of a save cost here: a file of the configuration's size written and
// synced, renamed into place, and its directory synced, as a save does, on the same file
// system but outside the watched directory.
double saveFsyncs() {
    constexpr char kDirectory[] = "/etc/qxbench-sync";
    ::mkdir(kDirectory, 0755);
    std::string text;
    {
        std::ifstream in(kConfigurationPath);
        text.assign(std::istreambuf_iterator<char>(in), {});
    }
    const std::string temporary = std::string(kDirectory) + "/.new", target = std::string(kDirectory) + "/file";
    const int file = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int directory = ::open(kDirectory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (file < 0 || directory < 0 || ::write(file, text.data(), text.size()) != ssize_t(text.size()))
        throw std::runtime_error("cannot write beside the configuration");
    const double t0 = nowMs();
    const int synced = ::fsync(file);
    const double t1 = nowMs();
    ::close(file);
    if (synced != 0 || ::rename(temporary.c_str(), target.c_str()) != 0)
        throw std::runtime_error("cannot sync beside the configuration");
    const double t2 = nowMs();
    ::fsync(directory);
    const double t3 = nowMs();
    ::close(directory);
    return (t1 - t0) + (t3 - t2);
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
    ChangeProbe probe(expert);
    const pid_t monitor = probe.monitor();
    const FloorListing floor = listFloor(kConfigurationPath);
    checkAgainstFloor(allItemProperties(expert), floor);

    std::vector<double> latency, tool, fsyncs, setCall, passWall, passCpu, floorMs;
    for (int i = 0; i < runs; ++i) {
        const FloorPort& port = floor.ports[(static_cast<std::size_t>(i) * 37) % floor.ports.size()];
        const ChangeProbe::Timing timing = probe.change(port);
        latency.push_back(timing.latencyMs);
        setCall.push_back(timing.setCallMs);

        waitMonitorIdle(monitor, 20);
        tool.push_back(runTool(port.path));
        fsyncs.push_back(saveFsyncs());

        const Pass pass = unchangedPass(monitor);
        passWall.push_back(pass.wallMs);
        passCpu.push_back(pass.cpuMs);
        waitMonitorIdle(monitor, 20);
        const double f0 = nowMs();
        listFloor(kConfigurationPath);
        floorMs.push_back(nowMs() - f0);
    }

    const double above = median(latency) - median(tool);
    const double aboveFsyncs = above - median(fsyncs);
    std::printf("change of one port: %d interleaved runs\n", runs);
    std::printf("  SetItemProperties2 call          %8.2f ms\n", median(setCall));
    std::printf("  start of the call to \"changed\"   %8.2f ms\n", median(latency));
    std::printf("  the tool's own run               %8.2f ms\n", median(tool));
    std::printf("  the two fsyncs of a save         %8.2f ms\n", median(fsyncs));
    std::printf("monitor pass that finds nothing changed\n");
    std::printf("  wall (touch to waiting again)    %8.2f ms\n", median(passWall));
    std::printf("  monitor thread CPU               %8.2f ms\n", median(passCpu));
    std::printf("  floor of a listing               %8.2f ms\n", median(floorMs));
    printFigure("change latency above tool", above, "ms", "< 20", above < 20);
    printFigure("change above tool + fsyncs", aboveFsyncs, "ms", "< 5", aboveFsyncs < 5);
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
