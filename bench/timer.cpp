// Times two commands run alternately as child processes and prints the median wall time
// of each and their ratio.
//   qxbench_timer RUNS COMMAND [ARG...] --vs BASELINE [ARG...]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <spawn.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace {

double nowNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

// Returns the wall time of one run in nanoseconds; exits when the command fails, since a
// failing run would time an error path.
double timeOnce(char** command) {
    const double start = nowNs();
    pid_t pid = 0;
    if (posix_spawn(&pid, command[0], nullptr, nullptr, command, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", command[0]);
        std::exit(2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const double elapsed = nowNs() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "%s failed (status %d)\n", command[0], status);
        std::exit(2);
    }
    return elapsed;
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
    if (runs <= 0 || split <= 2 || split + 1 >= argc) {
        std::fprintf(stderr, "usage: qxbench_timer RUNS COMMAND [ARG...] --vs BASELINE [ARG...]\n");
        return 2;
    }
    argv[split] = nullptr;
    char** command = argv + 2;
    char** baseline = argv + split + 1;

    // Warm the page cache and the simulator first; then interleave so drift hits both.
    timeOnce(command);
    timeOnce(baseline);
    std::vector<double> a, b, ratios;
    for (int i = 0; i < runs; ++i) {
        a.push_back(timeOnce(command));
        b.push_back(timeOnce(baseline));
        ratios.push_back(a.back() / b.back());
    }
    const double ma = median(a), mb = median(b);
    std::printf("runs            %d\n", runs);
    std::printf("tool median     %.1f us\n", ma / 1e3);
    std::printf("floor median    %.1f us\n", mb / 1e3);
    std::printf("ratio of medians %.2f\n", ma / mb);
    std::printf("median of pairwise ratios %.2f\n", median(ratios));
    return 0;
}
