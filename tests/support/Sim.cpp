// SPDX-License-Identifier: MIT
#include "tests/support/Sim.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <ostream>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

#include "platform/qxafa/UniqueFd.h"

extern char** environ;

namespace qxtest {

namespace {

// Generous: a run that hangs must fail the test, not the whole suite.
constexpr auto kRunTimeout = std::chrono::seconds(300);

std::vector<std::string> splitLine(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

// Closes the pipe at its end.
void drain(qxafa::UniqueFd& fd, std::string& into) {
    char buffer[4096];
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n > 0) {
        into.append(buffer, size_t(n));
    } else if (n == 0 || errno != EINTR) {
        fd.reset();
    }
}

struct Pipe {
    qxafa::UniqueFd read;
    qxafa::UniqueFd write;
};

Pipe makePipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) < 0) throw std::runtime_error("pipe: " + std::string(std::strerror(errno)));
    return {qxafa::UniqueFd(ends[0]), qxafa::UniqueFd(ends[1])};
}

}  // namespace

bool operator==(const JournalLine& a, const JournalLine& b) {
    return a.port == b.port && a.request == b.request && a.value == b.value && a.result == b.result;
}

std::ostream& operator<<(std::ostream& out, const JournalLine& line) {
    return out << line.port << " " << line.request << " " << line.value << " " << line.result;
}

BoardFile::Section& BoardFile::Section::set(const std::string& key, const std::string& value) {
    keys_.emplace_back(key, value);
    return *this;
}

BoardFile::Section& BoardFile::board(const std::string& name) {
    sections_.emplace_back();
    sections_.back().header_ = "board " + name;
    return sections_.back();
}

BoardFile& BoardFile::filler(unsigned directories) {
    sections_.emplace_back();
    sections_.back().header_ = "tree";
    sections_.back().set("filler", std::to_string(directories));
    return *this;
}

BoardFile& BoardFile::raw(const std::string& text) {
    raw_ += text;
    return *this;
}

std::string BoardFile::text() const {
    std::string text;
    for (const Section& section : sections_) {
        text += "[" + section.header_ + "]\n";
        for (const auto& [key, value] : section.keys_) text += key + " = " + value + "\n";
    }
    return text + raw_;
}

RunResult runProgram(const std::vector<std::string>& argv) {
    Pipe out = makePipe(), err = makePipe();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.write.get(), 1);
    posix_spawn_file_actions_adddup2(&actions, err.write.get(), 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group, so a run that hangs can be stopped with everything it started.
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    const int spawned = ::posix_spawnp(&pid, args[0], &actions, &attributes, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    out.write.reset();
    err.write.reset();
    RunResult result;
    if (spawned != 0) {
        result.err = "cannot start " + argv[0] + ": " + std::strerror(spawned);
        return result;
    }
    const auto deadline = std::chrono::steady_clock::now() + kRunTimeout;
    while (out.read || err.read) {
        pollfd polled[2] = {{out.read.get(), POLLIN, 0}, {err.read.get(), POLLIN, 0}};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(-pid, SIGKILL);
            result.err += "\n[killed after timeout]";
            break;
        }
        if (::poll(polled, 2, int(left.count())) < 0 && errno != EINTR) break;
        if (polled[0].revents) drain(out.read, result.out);
        if (polled[1].revents) drain(err.read, result.err);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    return result;
}

std::string Sim::qxsimPath() { return QX_BUILD_DIR "/sim/qxsim"; }
std::string Sim::toolPath() { return QX_BUILD_DIR "/qxserialconfig/qxserialconfig"; }

RunResult Sim::qxsim(const std::vector<std::string>& args) {
    std::vector<std::string> argv{qxsimPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(argv);
}

Sim::Sim() : Sim("", true) {}

Sim::Sim(const BoardFile& boards) : Sim(boards.text(), false) {}

Sim::Sim(std::string boardFileText, bool useDefault) : stateDir_(dir_.file("state")) {
    if (!useDefault) boardFile_ = dir_.write("boards.ini", boardFileText);
}

Sim Sim::withFile(const std::string& boardFilePath) {
    Sim sim("", true);
    sim.boardFile_ = boardFilePath;
    return sim;
}

Sim::Sim(Sim&& other) noexcept = default;
Sim::~Sim() = default;

RunResult Sim::run(const std::vector<std::string>& command) const {
    std::vector<std::string> args{"--state", stateDir_};
    if (!boardFile_.empty()) args.insert(args.end(), {"--boards", boardFile_});
    if (!tool_.empty()) args.insert(args.end(), {"--tool", tool_});
    if (!plugin_.empty()) args.insert(args.end(), {"--plugin", plugin_});
    args.push_back("--");
    args.insert(args.end(), command.begin(), command.end());
    return qxsim(args);
}

RunResult Sim::shell(const std::string& script) const { return run({"/bin/sh", "-c", script}); }

std::map<std::string, PortState> Sim::ports() const {
    const RunResult result = qxsim({"ports", "--state", stateDir_});
    if (result.status != 0) throw std::runtime_error("qxsim ports failed: " + result.err);
    std::map<std::string, PortState> ports;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> words = splitLine(line);
        if (words.empty()) continue;
        PortState& port = ports[words[0]];
        for (size_t i = 1; i < words.size(); ++i) {
            const auto equals = words[i].find('=');
            const std::string key = words[i].substr(0, equals), value = words[i].substr(equals + 1);
            if (key == "board") port.board = value;
            if (key == "rx") port.rx = value;
            if (key == "tx") port.tx = value;
            if (key == "rs485") port.rs485 = value;
            if (key == "requests") port.requests = unsigned(std::stoul(value));
        }
    }
    return ports;
}

void Sim::plug(const std::string& board) const {
    const RunResult result = qxsim({"plug", board, "--state", stateDir_});
    if (result.status != 0) throw std::runtime_error("qxsim plug " + board + " failed: " + result.err);
}

void Sim::unplug(const std::string& board) const {
    const RunResult result = qxsim({"unplug", board, "--state", stateDir_});
    if (result.status != 0) throw std::runtime_error("qxsim unplug " + board + " failed: " + result.err);
}

std::vector<std::string> Sim::systemLog() const {
    const RunResult result = qxsim({"log", "--state", stateDir_});
    if (result.status != 0) throw std::runtime_error("qxsim log failed: " + result.err);
    std::vector<std::string> lines;
    std::istringstream in(result.out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<JournalLine> Sim::journal() const {
    const RunResult result = qxsim({"journal", "--state", stateDir_});
    if (result.status != 0) throw std::runtime_error("qxsim journal failed: " + result.err);
    std::vector<JournalLine> journal;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        const std::vector<std::string> words = splitLine(line);
        if (words.size() != 4) throw std::runtime_error("unexpected journal line: " + line);
        journal.push_back({words[0], words[1], words[2], words[3]});
    }
    return journal;
}

}  // namespace qxtest
