// SPDX-License-Identifier: MIT
// A host opening its view of the boards: EnumItemNames, then GetAllItemProperties.
//   qxbench_list first PLUGIN         load, Initialize, list once, Uninitialize: what a host
//                                     process pays for its first view (timed from outside
//                                     against qxbench_listfloor)
//   qxbench_list steady PLUGIN RUNS   re-listing with the plug-in loaded and its cache warm,
//                                     interleaved in this process with the floor's reads

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "bench/BenchHost.h"
#include "host/PluginSession.h"

namespace {

using namespace qxbench;

std::size_t listOnce(IcxSysExpert2& expert) {
    const std::size_t names = enumItemNames(expert).size();
    const std::size_t bags = allItemProperties(expert).size();
    if (names == 0 || names != bags) throw std::runtime_error("names and bags differ");
    return names;
}

int steady(const std::string& plugin, int runs) {
    qxhost::PluginSession session(plugin);
    IcxSysExpert2& expert = session.expert();
    waitMonitorIdle(findMonitorThread());
    for (int i = 0; i < 3; ++i) listOnce(expert);
    checkAgainstFloor(allItemProperties(expert), listFloor(kConfigurationPath));

    std::vector<double> floor, names, all, ratios;
    for (int i = 0; i < runs; ++i) {
        double t0 = nowMs();
        listFloor(kConfigurationPath);
        double t1 = nowMs();
        enumItemNames(expert);
        double t2 = nowMs();
        allItemProperties(expert);
        double t3 = nowMs();
        floor.push_back(t1 - t0);
        names.push_back(t2 - t1);
        all.push_back(t3 - t1);
        ratios.push_back((t3 - t1) / (t1 - t0));
    }
    checkAgainstFloor(allItemProperties(expert), listFloor(kConfigurationPath));
    const double ratio = median(all) / median(floor);
    std::printf("re-list, warm cache: %d interleaved runs\n", runs);
    std::printf("  floor                      %8.2f ms\n", median(floor));
    std::printf("  EnumItemNames              %8.2f ms\n", median(names));
    std::printf("  + GetAllItemProperties     %8.2f ms\n", median(all));
    std::printf("  median of pairwise ratios  %8.2f\n", median(ratios));
    printFigure("listing, warm (re-list)", ratio, "x", "<= 2", ratio <= 2);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::strcmp(argv[1], "first") == 0) {
            qxhost::PluginSession session(argv[2]);
            listOnce(session.expert());
            return 0;
        }
        if (argc == 4 && std::strcmp(argv[1], "steady") == 0 && std::atoi(argv[3]) > 0)
            return steady(argv[2], std::atoi(argv[3]));
        std::fprintf(stderr, "usage: qxbench_list first PLUGIN | steady PLUGIN RUNS\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxbench_list: %s\n", e.what());
        return 1;
    }
}
