// SPDX-License-Identifier: MIT
#include "sim/Sandbox.h"

#include "platform/qxafa/UniqueFd.h"
#include "sim/SystemError.h"
#include "sim/TreeBuilder.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sched.h>
#include <stdexcept>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace qxsim {

namespace {

void bindMount(const std::string& source, const std::string& target, unsigned long flags = 0) {
    check(::mount(source.c_str(), target.c_str(), nullptr, MS_BIND | flags, nullptr),
          "bind " + source + " on " + target);
}

void writeProcFile(const std::string& path, const std::string& text) {
    qxafa::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (!fd || ::write(fd.get(), text.data(), text.size()) != ssize_t(text.size()))
        throw SystemError("write " + path, errno);
}

void createEmptyFile(const std::string& path) {
    qxafa::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
    if (!fd) throw SystemError("create " + path, errno);
}

}  // namespace

bool Sandbox::inUserNamespace() { return ::geteuid() != 0; }

void Sandbox::addPortNode(const StateDir& state, uint32_t index) {
    const std::string source = state.devDir() + "/" + portName(index), target = "/dev/" + portName(index);
    struct stat node {}, shown {};
    check(::stat(source.c_str(), &node), "inspect " + source);
    if (::stat(target.c_str(), &shown) == 0 && shown.st_dev == node.st_dev && shown.st_ino == node.st_ino) return;
    createEmptyFile(target);
    bindMount(source, target);
}

void Sandbox::removePortNode(uint32_t index) {
    const std::string target = "/dev/" + portName(index);
    if (::umount2(target.c_str(), MNT_DETACH) < 0 && errno != EINVAL && errno != ENOENT)
        throw SystemError("unmount " + target, errno);
    if (::unlink(target.c_str()) < 0 && errno != ENOENT) throw SystemError("remove " + target, errno);
}

Sandbox::Sandbox(const StateDir& state, const BoardSet& boards, std::optional<std::string> tool,
                 std::optional<std::string> plugin)
    : state_(state),
      boards_(boards),
      tool_(std::move(tool)),
      plugin_(std::move(plugin)),
      uid_(::geteuid()),
      gid_(::getegid()) {}

void Sandbox::prepare() const {
    for (const std::string& dir : {state_.etcUpper(), state_.etcWork(), state_.libUpper(), state_.libWork(),
                                   state_.hostDevDir(), state_.treesDir()})
        fs::create_directories(dir);
    // Created here, by the user: inside a user namespace the real /etc is not writable.
    fs::create_directories(state_.etcUpper() + "/qxserial");
    const fs::path productDir = fs::path(state_.libUpper()) / "qx561x";
    fs::remove_all(productDir);
    // Mount points for what is shown; without one, the installed file (if any) shows through.
    for (const auto& [file, shown] : {std::pair{&tool_, kToolPath}, std::pair{&plugin_, kPluginPath}}) {
        if (!*file) continue;
        fs::create_directories(productDir);
        std::ofstream(productDir / fs::path(shown).filename()).flush();
    }
}

void Sandbox::enter() const {
    enterNamespaces();
    // Nothing done below may travel back to the host's mounts.
    check(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr), "make mounts private");
    mountDriverTrees();
    mountOverlays();
    mountDev();
}

void Sandbox::enterNamespaces() const {
    if (!inUserNamespace()) {
        check(::unshare(CLONE_NEWNS), "unshare mount namespace");
        return;
    }
    check(::unshare(CLONE_NEWUSER | CLONE_NEWNS), "unshare user and mount namespaces");
    // Root inside maps to the user outside, so files in the state directory are ours.
    writeProcFile("/proc/self/setgroups", "deny");
    writeProcFile("/proc/self/uid_map", "0 " + std::to_string(uid_) + " 1");
    writeProcFile("/proc/self/gid_map", "0 " + std::to_string(gid_) + " 1");
}

void Sandbox::mountDriverTrees() const {
    const std::string trees = state_.treesDir();
    check(::mount("tmpfs", trees.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC, "mode=755"),
          "mount tmpfs on " + trees);
    TreeBuilder(boards_).buildTrees(trees);
    bindMount(trees + "/proc", "/proc/driver");
    bindMount(trees + "/sys", "/sys/devices");
    bindMount(TreeBuilder::busLinkDirectory(trees), "/sys/bus/pci/devices");
}

void Sandbox::mountOverlays() const {
    // A user namespace may not set trusted.* attributes; overlayfs then keeps its own in user.*.
    const std::string extra = inUserNamespace() ? ",userxattr" : "";
    const std::pair<const char*, std::pair<std::string, std::string>> layers[] = {
        {"/etc", {state_.etcUpper(), state_.etcWork()}},
        {"/usr/lib/x86_64-linux-gnu", {state_.libUpper(), state_.libWork()}},
    };
    for (const auto& [target, dirs] : layers) {
        const std::string options =
            "lowerdir=" + std::string(target) + ",upperdir=" + dirs.first + ",workdir=" + dirs.second + extra;
        check(::mount("overlay", target, "overlay", 0, options.c_str()), std::string("overlay ") + target);
    }
    if (tool_) bindMount(*tool_, kToolPath);
    if (plugin_) bindMount(*plugin_, kPluginPath);
}

// An overlay on /dev cannot be had in a user namespace (the host's pts and shm mounts
// under it are locked), so /dev becomes a tmpfs that mirrors the host's entries by bind
// mounts, plus the port nodes.
void Sandbox::mountDev() const {
    bindMount("/dev", state_.hostDevDir(), MS_REC);
    check(::mount("tmpfs", "/dev", "tmpfs", MS_NOSUID, "mode=755"), "mount tmpfs on /dev");
    mirrorHostDev();
    mountPortNodes();
}

void Sandbox::mirrorHostDev() const {
    const std::string host = state_.hostDevDir();
    const qxafa::UniqueDir dir = qxafa::openDirectory(host);
    if (!dir) throw SystemError("read " + host, errno);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string name = entry->d_name;
        // The simulation's own system log takes the host's place (SystemLog).
        if (name == "." || name == ".." || name == "log") continue;
        const std::string source = host + "/" + name, target = "/dev/" + name;
        struct stat info {};
        check(::lstat(source.c_str(), &info), "inspect " + source);
        if (name == "ptmx") {
            linkPtmx(target);
        } else if (S_ISLNK(info.st_mode)) {
            char link[PATH_MAX];
            const ssize_t length = check(::readlink(source.c_str(), link, sizeof link - 1), "read " + source);
            check(::symlink(std::string(link, size_t(length)).c_str(), target.c_str()), "link " + target);
        } else if (S_ISDIR(info.st_mode)) {
            check(::mkdir(target.c_str(), info.st_mode & 07777), "create " + target);
            bindMount(source, target, MS_REC);
        } else {
            createEmptyFile(target);
            bindMount(source, target);
        }
    }
}

// The pty multiplexer finds its pts instance beside the node it was opened through. Through
// pts/ptmx the new ptys show under /dev/pts as usual; where that node is closed to us (a user
// namespace, devpts mounted with ptmxmode=000) the host's whole /dev tree is the way in.
void Sandbox::linkPtmx(const std::string& target) const {
    const std::string host = state_.hostDevDir();
    const bool direct = ::access((host + "/pts/ptmx").c_str(), R_OK | W_OK) == 0;
    const std::string link = direct ? "pts/ptmx" : host + "/ptmx";
    check(::symlink(link.c_str(), target.c_str()), "link " + target);
}

void Sandbox::mountPortNodes() const {
    for (const Board& board : boards_.boards) {
        if (!board.present) continue;
        for (uint32_t index = board.firstPort; index < board.firstPort + board.ports; ++index)
            addPortNode(state_, index);
    }
}

}  // namespace qxsim
