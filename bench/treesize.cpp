// SPDX-License-Identifier: MIT
// What the size of the device tree costs a host: the same rack under a small and a large
// tree, one simulation each, both running at once and asked in turn, so that drift and
// load hit both alike. Per round and tree: a listing by a new host process (load,
// Initialize, EnumItemNames, GetAllItemProperties, Uninitialize) and the latency of one
// port's change in a running host. The figures are the large tree's medians over the
// small tree's.
//   qxbench_treesize QXSIM TOOL PLUGIN WORKDIR RUNS SMALL_BOARDS LARGE_BOARDS
//   qxbench_treesize serve PLUGIN     (inside a simulation) answers "list" and "change"
//                                     on standard input with the milliseconds taken

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchHost.h"
#include "host/PluginSession.h"

extern char** environ;

namespace {

using namespace qxbench;

std::string selfPath() { return std::filesystem::read_symlink("/proc/self/exe").string(); }

std::size_t treeEntries() {
    std::size_t entries = 0;
    for (std::filesystem::recursive_directory_iterator it("/sys/devices"), end; it != end; ++it) ++entries;
    return entries;
}

// Runs argv with standard output on /dev/null; the wall time in milliseconds.
double timeProgram(std::vector<std::string> argv) {
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const double start = nowMs();
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error(std::string("cannot start ") + args[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    const double elapsed = nowMs() - start;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(std::string(args[0]) + " failed");
    return elapsed;
}

int serve(const std::string& plugin) {
    // Answers go through a descriptor of their own: whatever the plug-in's tool runs print
    // goes to standard error.
    FILE* answers = ::fdopen(::dup(1), "w");
    if (!answers || ::dup2(2, 1) < 0) throw std::runtime_error("cannot set up the answers");
    writeConfiguration(listFloor(kConfigurationPath), kConfigurationPath);
    const std::string lister =
        std::filesystem::path(selfPath()).parent_path().string() + "/qxbench_list";
    qxhost::PluginSession session(plugin);
    ChangeProbe probe(session.expert());
    const FloorListing floor = listFloor(kConfigurationPath);
    checkAgainstFloor(allItemProperties(session.expert()), floor);
    std::fprintf(answers, "ready %zu\n", treeEntries());
    std::fflush(answers);
    std::size_t changes = 0;
    for (std::string command; std::getline(std::cin, command);) {
        double ms = 0;
        if (command == "list") {
            ms = timeProgram({lister, "first", plugin});
        } else if (command == "change") {
            ms = probe.change(floor.ports[(changes++ * 37) % floor.ports.size()]).latencyMs;
        } else {
            break;
        }
        std::fprintf(answers, "%.3f\n", ms);
        std::fflush(answers);
    }
    return 0;
}

// One simulation running the server, talked to through two pipes.
class Simulation {
public:
    Simulation(const std::vector<std::string>& qxsimArgs) {
        int in[2], out[2];
        if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("cannot make pipes");
        std::vector<std::string> argv = qxsimArgs;
        std::vector<char*> args;
        for (std::string& arg : argv) args.push_back(arg.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const int spawned = ::posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(in[0]);
        ::close(out[1]);
        if (spawned != 0) throw std::runtime_error("cannot start qxsim");
        to_ = ::fdopen(in[1], "w");
        from_ = ::fdopen(out[0], "r");
        const std::string ready = line();
        if (ready.rfind("ready ", 0) != 0) throw std::runtime_error("the simulation did not start");
        entries_ = std::stoul(ready.substr(6));
    }
    ~Simulation() {
        std::fclose(to_);  // end of input ends the server
        std::fclose(from_);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    Simulation(const Simulation&) = delete;
    Simulation& operator=(const Simulation&) = delete;

    double ask(const char* command) {
        std::fprintf(to_, "%s\n", command);
        std::fflush(to_);
        return std::stod(line());
    }
    std::size_t entries() const { return entries_; }

private:
    std::string line() {
        char text[256];
        if (!std::fgets(text, sizeof text, from_)) throw std::runtime_error("the simulation ended");
        return text;
    }

    pid_t pid_ = -1;
    FILE* to_ = nullptr;
    FILE* from_ = nullptr;
    std::size_t entries_ = 0;
};

int compare(char** argv, int runs) {
    const std::string qxsim = argv[1], tool = argv[2], plugin = argv[3], work = argv[4];
    const auto start = [&](const char* boards, const char* state) {
        return std::make_unique<Simulation>(std::vector<std::string>{
            qxsim, "--boards", boards, "--state", work + "/" + state, "--tool", tool, "--",
            selfPath(), "serve", plugin});
    };
    const auto small = start(argv[6], "tree-small");
    const auto large = start(argv[7], "tree-large");
    std::vector<double> list[2], change[2];
    Simulation* both[] = {small.get(), large.get()};
    for (int i = 0; i < runs; ++i) {
        for (int t = 0; t < 2; ++t) list[t].push_back(both[t]->ask("list"));
        for (int t = 0; t < 2; ++t) change[t].push_back(both[t]->ask("change"));
    }
    const double listRatio = median(list[1]) / median(list[0]);
    const double changeRatio = median(change[1]) / median(change[0]);
    std::printf("the rack under %zu and %zu device-tree entries: %d alternating runs\n",
                small->entries(), large->entries(), runs);
    std::printf("                              small tree  large tree\n");
    std::printf("  listing, first (new host)  %8.2f ms %8.2f ms\n", median(list[0]), median(list[1]));
    std::printf("  change latency             %8.2f ms %8.2f ms\n", median(change[0]),
                median(change[1]));
    printFigure("listing, large / small tree", listRatio, "x", "<= 1.3", listRatio <= 1.3);
    printFigure("change, large / small tree", changeRatio, "x", "<= 1.3", changeRatio <= 1.3);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        if (argc == 3 && std::strcmp(argv[1], "serve") == 0) return serve(argv[2]);
        if (argc == 8 && std::atoi(argv[5]) > 0) return compare(argv, std::atoi(argv[5]));
        std::fprintf(stderr, "usage: qxbench_treesize QXSIM TOOL PLUGIN WORKDIR RUNS SMALL_BOARDS "
                             "LARGE_BOARDS\n       qxbench_treesize serve PLUGIN\n");
        return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "qxbench_treesize: %s\n", e.what());
        return 1;
    }
}
