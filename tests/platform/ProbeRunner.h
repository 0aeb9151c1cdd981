// SPDX-License-Identifier: MIT
#pragma once
// Runs the platform probe in a child process with a chosen loader path and
// environment, and collects its key=value lines.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "platform/qxafa/UniqueFd.h"

extern char** environ;

namespace qxtest {

struct ProbeResult {
    int exitStatus = -1;
    std::map<std::string, std::string> values;

    std::string operator[](const std::string& key) const {
        auto it = values.find(key);
        return it == values.end() ? "<absent>" : it->second;
    }
};

// env: variables to set in the child (replacing inherited ones of the same name);
// the loader path is the stand-in folder, or empty for none.
inline ProbeResult runProbe(const std::vector<std::string>& args, const std::string& libraryDir,
                            const std::map<std::string, std::string>& env = {}) {
    std::map<std::string, std::string> childEnv = env;
    childEnv["LD_LIBRARY_PATH"] = libraryDir;
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (!childEnv.count(name)) envText.push_back(entry);
    }
    for (const auto& [name, value] : childEnv) envText.push_back(name + "=" + value);

    std::vector<std::string> argText = {QX_PROBE};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv, envp;
    for (auto& a : argText) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : envText) envp.push_back(e.data());
    envp.push_back(nullptr);

    ProbeResult result;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return result;
    qxafa::UniqueFd out(ends[0]), in(ends[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in.get(), STDOUT_FILENO);
    pid_t pid = -1;
    const int spawned = posix_spawn(&pid, QX_PROBE, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    in.reset();
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = read(out.get(), buffer, sizeof buffer)) > 0) text.append(buffer, got);
    if (spawned != 0) return result;
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);

    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(start, end - start);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) result.values[line.substr(0, eq)] = line.substr(eq + 1);
        start = end + 1;
    }
    return result;
}

inline std::string standinDir(const char* name) { return std::string(QX_STANDIN_DIR) + "/" + name; }

}  // namespace qxtest
