// SPDX-License-Identifier: MIT
#pragma once
// The configuration file and its defaults file as last parsed, handed out again only while
// both files are provably the ones parsed: every use compares each file's device, inode,
// size, modification and change times (to the nanosecond) with those seen at parsing.
//
// A change always moves the change time, which only the kernel sets, to the current
// time; but a clock tick (or a second, on file systems that keep whole seconds) is long
// enough for a rewrite of the same size to leave every compared value as it was. So a
// parse is kept only when the files were older than that when it was taken, and only on
// local file systems, whose attributes a stat sees at once.

#include <sys/types.h>

#include <ctime>
#include <memory>
#include <mutex>
#include <string>

#include "shared/qx561x/cIniDataStore.h"

namespace qx561xsae {

class cConfigurationFileCache {
public:
    // The store for the configuration file at path (and its defaults file), as the
    // cIniDataStore constructor would load it now; its failures pass through unchanged.
    std::shared_ptr<const qx561x::cIniDataStore> load(const std::string& path);

    struct FileState {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        timespec modified{};
        timespec changed{};
        bool operator==(const FileState& other) const;
        bool operator!=(const FileState& other) const { return !(*this == other); }
    };

private:
    std::mutex mutex;
    std::string path;
    FileState mainFile;
    FileState defaultsFile;
    std::shared_ptr<const qx561x::cIniDataStore> store;
};

}  // namespace qx561xsae
