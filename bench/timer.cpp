// SPDX-License-Identifier: MIT
// Times two commands run alternately as child processes and prints the median wall time
// of each and their ratio; with --figure, also a figure line (ratio of the medians, and
// whether it is at most GOAL; a GOAL of ~G asks for a ratio within G either way, from 1/G
// to G; a GOAL of - sets none). The commands' standard output goes to /dev/null.
//   qxbench_timer RUNS [--figure NAME GOAL] COMMAND [ARG...] --vs BASELINE [ARG...]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

double nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

struct Sample {
    double wallNs;
    double cpuNs;  // user + system time of the child itself
};

// Times one run; exits when the command fails, since a failing run would time an error path.
Sample timeOnce(char** command) {
    const double start = nowNs();
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid, command[0], &actions, nullptr, command, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "cannot start %s\n", command[0]);
        std::exit(2);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const double elapsed = nowNs() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", command[0], status);
        std::exit(2);
    }
    const auto ns = [](const timeval& t) { return t.tv_sec * 1e9 + t.tv_usec * 1e3; };
    return {elapsed, ns(usage.ru_utime) + ns(usage.ru_stime)};
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    int split = 0;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--vs") == 0) {
            split = i;
        }
    }
    const int runs = argc > 1 ? std::atoi(argv[1]) : 0;
    int first = 2;
    const char* figure = nullptr;
    double goal = 0;
    bool within = false;
    if (argc > 4 && std::strcmp(argv[2], "--figure") == 0) {
        figure = argv[3];
        within = argv[4][0] == '~';
        goal = std::atof(argv[4] + (within ? 1 : 0));
        first = 5;
    }
    if (runs <= 0 || split <= first || split + 1 >= argc) {
        std::fprintf(stderr, "usage: qxbench_timer RUNS [--figure NAME GOAL] COMMAND [ARG...] "
                             "--vs BASELINE [ARG...]\n");
        return 2;
    }
    argv[split] = nullptr;
    char** command = argv + first;
    char** baseline = argv + split + 1;

    // Warm the page cache and the simulator first; then interleave so drift hits both.
    timeOnce(command);
    timeOnce(baseline);
    std::vector<double> a, b, ratios, cpuA, cpuB;
    for (int i = 0; i < runs; ++i) {
        const Sample sa = timeOnce(command);
        const Sample sb = timeOnce(baseline);
        a.push_back(sa.wallNs);
        b.push_back(sb.wallNs);
        cpuA.push_back(sa.cpuNs);
        cpuB.push_back(sb.cpuNs);
        ratios.push_back(sa.wallNs / sb.wallNs);
    }
    const double ma = median(a), mb = median(b);
    std::printf("runs                       %d\n", runs);
    std::printf("command median wall        %.1f us\n", ma / 1e3);
    std::printf("baseline median wall       %.1f us\n", mb / 1e3);
    std::printf("ratio of medians           %.2f\n", ma / mb);
    std::printf("median of pairwise ratios  %.2f\n", median(ratios));
    std::printf("median cpu (command/base)  %.1f / %.1f us\n", median(cpuA) / 1e3,
                median(cpuB) / 1e3);
    if (figure && std::strcmp(argv[4], "-") == 0) {
        std::printf("figure  %-28s %10.2f %-6s goal\n", figure, ma / mb, "x");
    } else if (figure) {
        const double ratio = ma / mb;
        const std::string goalText = within ? "within " + std::string(argv[4] + 1) : "<= " + std::string(argv[4]);
        const bool met = within ? ratio <= goal && ratio * goal >= 1 : ratio <= goal;
        std::printf("figure  %-28s %10.2f %-6s goal %-14s %s\n", figure, ratio, "x", goalText.c_str(),
                    met ? "met" : "MISSED");
    }
    return 0;
}
