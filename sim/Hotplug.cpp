// SPDX-License-Identifier: MIT
#include "sim/Hotplug.h"

#include "sim/Sandbox.h"
#include "sim/SystemError.h"
#include "sim/TreeBuilder.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <sched.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qxsim {

namespace {

// The run file: "<pid> <user namespace fd or -1> <mount namespace fd> <mount namespace inode>".
struct RunRecord {
    pid_t pid = -1;
    int userFd = -1;
    int mountFd = -1;
    ino_t mountInode = 0;
};

std::string procFd(pid_t pid, int fd) { return "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd); }

ino_t inodeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

qxafa::UniqueFd openNamespace(const std::string& path) {
    qxafa::UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) throw SystemError("open " + path, errno);
    return fd;
}

// Moves a directory out of sight in one step; the caller removes it.
std::string moveAside(const StateDir& state, const std::string& dir, const std::string& what) {
    const std::string staging = state.treesDir() + "/.staging";
    fs::create_directories(staging);
    const std::string aside = staging + "/" + what + "." + std::to_string(::getpid());
    fs::remove_all(aside);
    if (::rename(dir.c_str(), aside.c_str()) < 0) {
        if (errno == ENOENT) return "";
        throw SystemError("move " + dir + " aside", errno);
    }
    return aside;
}

// Builds a directory aside and renames it over target, which may exist.
template <typename Build>
void replaceDirectory(const StateDir& state, const std::string& target, const std::string& what, Build build) {
    const std::string built = state.treesDir() + "/.staging/" + what + ".new." + std::to_string(::getpid());
    fs::remove_all(built);
    build(built);
    fs::create_directories(fs::path(target).parent_path());
    const std::string old = moveAside(state, target, what);
    check(::rename(built.c_str(), target.c_str()), "move " + built + " into place");
    if (!old.empty()) fs::remove_all(old);
}

void removeDirectory(const StateDir& state, const std::string& dir, const std::string& what) {
    const std::string aside = moveAside(state, dir, what);
    if (!aside.empty()) fs::remove_all(aside);
}

std::string busLinkPath(const StateDir& state, const Board& board) {
    return TreeBuilder::busLinkDirectory(state.treesDir()) + "/" + board.address;
}

// Made aside and renamed into place, so that it appears whole.
void placeBusLink(const StateDir& state, const Board& board) {
    const std::string staging = state.treesDir() + "/.staging";
    const std::string built = staging + "/link-" + board.name + ".new." + std::to_string(::getpid());
    fs::create_directories(staging);
    fs::remove(built);
    fs::create_symlink(TreeBuilder::busLinkTarget(board), built);
    check(::rename(built.c_str(), busLinkPath(state, board).c_str()), "move " + built + " into place");
}

void addPortNodes(const StateDir& state, const Board& board) {
    for (uint32_t index = board.firstPort; index < board.firstPort + board.ports; ++index)
        Sandbox::addPortNode(state, index);
}

void removeBusLink(const StateDir& state, const Board& board) {
    const std::string link = busLinkPath(state, board);
    if (::unlink(link.c_str()) < 0 && errno != ENOENT) throw SystemError("remove " + link, errno);
}

}  // namespace

NamespaceAnchor::NamespaceAnchor(const StateDir& state, pid_t pid) : runFile_(state.runFile()) {
    const std::string ns = "/proc/" + std::to_string(pid) + "/ns/";
    if (Sandbox::inUserNamespace()) user_ = openNamespace(ns + "user");
    mount_ = openNamespace(ns + "mnt");
    struct stat info {};
    check(::fstat(mount_.get(), &info), "inspect " + ns + "mnt");
    const std::string temporary = runFile_ + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << ::getpid() << " " << (user_ ? user_.get() : -1) << " " << mount_.get() << " " << info.st_ino << "\n";
        if (!out.flush()) throw std::runtime_error("cannot write " + temporary);
    }
    check(std::rename(temporary.c_str(), runFile_.c_str()), "publish " + runFile_);
}

NamespaceAnchor::~NamespaceAnchor() { ::unlink(runFile_.c_str()); }

void joinSimulation(const StateDir& state) {
    const NotRunning notRunning("no simulation is running in " + state.root());
    RunRecord run;
    std::ifstream in(state.runFile());
    if (!(in >> run.pid >> run.userFd >> run.mountFd >> run.mountInode)) throw notRunning;
    if (inodeOf("/proc/self/ns/mnt") == run.mountInode) return;  // inside already
    // A record left by a qxsim that was killed names descriptors that are gone.
    if (inodeOf(procFd(run.pid, run.mountFd)) != run.mountInode) throw notRunning;
    // Both are opened first: from inside the user namespace the supervisor's descriptors
    // are out of reach.
    const qxafa::UniqueFd user = run.userFd >= 0 ? openNamespace(procFd(run.pid, run.userFd)) : qxafa::UniqueFd();
    const qxafa::UniqueFd mount = openNamespace(procFd(run.pid, run.mountFd));
    if (user) check(::setns(user.get(), CLONE_NEWUSER), "enter the simulation's user namespace");
    check(::setns(mount.get(), CLONE_NEWNS), "enter the simulation's mount namespace");
}

// The device directory and the link to it first, as the kernel adds a device, then the
// driver directory: whoever finds the board finds all of it. The port nodes last, as
// devtmpfs makes them once the ports are registered, so that whoever hears of a node in
// /dev finds its board whole.
void plugBoard(const StateDir& state, const Board& board) {
    const std::string root = state.treesDir();
    if (fs::exists(TreeBuilder::driverDirectory(root, board))) {
        addPortNodes(state, board);  // a plug that stopped before them
        return;
    }
    replaceDirectory(state, TreeBuilder::deviceDirectory(root, board), "sys-" + board.name,
                     [&](const std::string& dir) { TreeBuilder::buildDeviceDirectory(dir, board); });
    if (board.busLink) placeBusLink(state, board);
    replaceDirectory(state, TreeBuilder::driverDirectory(root, board), "proc-" + board.name,
                     [&](const std::string& dir) { TreeBuilder::buildDriverDirectory(dir, board); });
    addPortNodes(state, board);
}

// The driver directory goes first, the nodes last: whoever hears a node go finds the
// board gone.
void unplugBoard(const StateDir& state, const Board& board) {
    const std::string root = state.treesDir();
    removeDirectory(state, TreeBuilder::driverDirectory(root, board), "proc-" + board.name);
    removeBusLink(state, board);
    removeDirectory(state, TreeBuilder::deviceDirectory(root, board), "sys-" + board.name);
    for (uint32_t index = board.firstPort; index < board.firstPort + board.ports; ++index)
        Sandbox::removePortNode(index);
}

}  // namespace qxsim
