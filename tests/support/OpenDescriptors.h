// SPDX-License-Identifier: MIT
#pragma once
// Snapshots of this process's open descriptors, for tests that check nothing leaks.

#include <dirent.h>

#include <set>
#include <string>

namespace qxtest {

// Names under /proc/self/fd, without the descriptor used to read them.
inline std::set<std::string> openDescriptors() {
    std::set<std::string> names;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir) return names;
    const std::string own = std::to_string(dirfd(dir));
    while (dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.' && own != entry->d_name) names.insert(entry->d_name);
    }
    closedir(dir);
    return names;
}

// Descriptors open now that were not open in the snapshot.
inline std::set<std::string> descriptorsOpenedSince(const std::set<std::string>& before) {
    std::set<std::string> added;
    for (const std::string& fd : openDescriptors()) {
        if (!before.count(fd)) added.insert(fd);
    }
    return added;
}

}  // namespace qxtest
