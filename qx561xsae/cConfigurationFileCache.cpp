// SPDX-License-Identifier: MIT
#include "qx561xsae/cConfigurationFileCache.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>

#include <cerrno>
#include <optional>
#include <stdexcept>

namespace qx561xsae {
namespace {

// A change stamps the clock of the last tick (a tick is at most 10 ms): once this long has
// passed, no change can be stamped with the time a file shows now.
constexpr long kSettledNs = 20'000'000L;
// File systems that keep whole seconds (ext2 and ext3 with small inodes): two of them.
constexpr long kSettledWholeSecondsNs = 2'000'000'000L;

// Disks and memory that this kernel alone changes: a stat always shows the latest change.
// A missing file is judged by its directory (the one of the path, links not followed).
bool isLocalFileSystem(const std::string& path, bool exists) {
    const std::string where = exists ? path : path.substr(0, path.rfind('/') + 1) + ".";
    struct statfs info {};
    if (::statfs(where.c_str(), &info) != 0) return false;
    switch (info.f_type) {
        case EXT4_SUPER_MAGIC:  // also ext2 and ext3
        case XFS_SUPER_MAGIC:
        case BTRFS_SUPER_MAGIC:
        case TMPFS_MAGIC:
        case OVERLAYFS_SUPER_MAGIC:
        case F2FS_SUPER_MAGIC:
            return true;
        default:
            return false;
    }
}

// Empty when the file cannot be looked at; the load then reports why, if it matters.
std::optional<cConfigurationFileCache::FileState> stateOf(const std::string& path) {
    struct stat status {};
    cConfigurationFileCache::FileState state;
    if (::stat(path.c_str(), &status) != 0) {
        if (errno == ENOENT) return state;  // a missing file reads as empty
        return std::nullopt;
    }
    state.exists = true;
    state.device = status.st_dev;
    state.inode = status.st_ino;
    state.size = status.st_size;
    state.modified = status.st_mtim;
    state.changed = status.st_ctim;
    return state;
}

long long nanoseconds(const timespec& time) {
    return static_cast<long long>(time.tv_sec) * 1'000'000'000LL + time.tv_nsec;
}

bool settled(const cConfigurationFileCache::FileState& state, const timespec& now) {
    if (!state.exists) return true;
    const long margin = state.changed.tv_nsec == 0 ? kSettledWholeSecondsNs : kSettledNs;
    return nanoseconds(now) - nanoseconds(state.changed) >= margin;
}

std::optional<std::string> defaultsPathOf(const std::string& path) {
    try {
        return qx561x::cIniDataStore::defaultsFilePath(path);
    } catch (const std::invalid_argument&) {
        return std::nullopt;
    }
}

}  // namespace

bool cConfigurationFileCache::FileState::operator==(const FileState& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec && changed.tv_sec == other.changed.tv_sec &&
           changed.tv_nsec == other.changed.tv_nsec;
}

std::shared_ptr<const qx561x::cIniDataStore> cConfigurationFileCache::load(const std::string& path) {
    // Without a defaults path the constructor fails, in its own order of failures.
    const std::optional<std::string> defaultsPath = defaultsPathOf(path);
    if (!defaultsPath) return std::make_shared<const qx561x::cIniDataStore>(path);

    std::lock_guard<std::mutex> guard(mutex);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const auto mainBefore = stateOf(path);
    const auto defaultsBefore = stateOf(*defaultsPath);
    if (store && path == this->path && mainBefore && defaultsBefore && *mainBefore == mainFile &&
        *defaultsBefore == defaultsFile) {
        return store;
    }
    store.reset();
    auto loaded = std::make_shared<const qx561x::cIniDataStore>(path);
    const auto mainAfter = stateOf(path);
    const auto defaultsAfter = stateOf(*defaultsPath);
    const bool keep = mainBefore && defaultsBefore && mainAfter && defaultsAfter &&
                      *mainBefore == *mainAfter && *defaultsBefore == *defaultsAfter &&
                      settled(*mainAfter, now) && settled(*defaultsAfter, now) &&
                      isLocalFileSystem(path, mainAfter->exists) &&
                      isLocalFileSystem(*defaultsPath, defaultsAfter->exists);
    if (keep) {
        this->path = path;
        mainFile = *mainAfter;
        defaultsFile = *defaultsAfter;
        store = loaded;
    }
    return loaded;
}

}  // namespace qx561xsae
