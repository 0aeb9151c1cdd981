// SPDX-License-Identifier: MIT
#pragma once
// Blocks one thread until something changes in one or more directories; any other
// thread may cancel that wait.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/qxafa/UniqueFd.h"
#include "platform/qxerr/Status.h"

namespace qxafa {

class DirectoryMonitor {
public:
    static constexpr uint32_t kNoTimeLimit = 0xFFFFFFFFu;
    // Event bits that say the watched directory itself is gone (deleted, moved away, or its
    // watch dropped): IN_DELETE_SELF, IN_MOVE_SELF, IN_IGNORED.
    static constexpr uint32_t kPathGone = 0x8C00u;
    // Events of entries that come and go in a watched directory (made, deleted, moved in
    // or out): IN_CREATE, IN_DELETE, IN_MOVED_FROM, IN_MOVED_TO.
    static constexpr uint32_t kEntriesComeAndGo = 0x3C0u;

    // On failure the status carries it and the object holds what was created so far.
    DirectoryMonitor(const char* const* paths, size_t count, qxerr::Status& status);
    DirectoryMonitor(const std::string& path, qxerr::Status& status);
    // Throws qxerr::Exception when the monitor cannot be set up.
    explicit DirectoryMonitor(const std::string& path);
    // The same for several paths, or for none yet (watch adds them).
    explicit DirectoryMonitor(const std::vector<std::string>& paths);
    ~DirectoryMonitor();

    DirectoryMonitor(const DirectoryMonitor&) = delete;
    DirectoryMonitor& operator=(const DirectoryMonitor&) = delete;

    // True when a change was read; outIndex (may be null) receives the index of the
    // watched path, or the number of paths when the watch is unknown. False on
    // cancel, timeout (status: qxapalerr_operationTimedOut) and failure.
    bool waitForChange(uint32_t timeoutMs, uint32_t* outIndex, qxerr::Status& status);
    // The same; outMask (may be null) receives the event's mask (see kPathGone).
    bool waitForChange(uint32_t timeoutMs, uint32_t* outIndex, uint32_t* outMask,
                       qxerr::Status& status);
    // The same; outName (may be null) receives the name of the entry the event is about,
    // empty when it is about the watched directory itself.
    bool waitForChange(uint32_t timeoutMs, uint32_t* outIndex, uint32_t* outMask,
                       std::string* outName, qxerr::Status& status);
    bool waitForChange(uint32_t* outIndex, qxerr::Status& status);
    // Throwing forms: a timeout or failure raises qxerr::Exception; false means cancelled.
    bool waitForChange(uint32_t timeoutMs, uint32_t* outIndex);
    bool waitForChange(uint32_t* outIndex = nullptr);

    // Makes the current or the next wait return false, and every wait after it.
    void cancelWait();

    // Watches path at index instead of what was watched there (removing that watch, if it
    // is not gone already), or as one more path when index is the number of paths. Events
    // still queued for the old watch come with the number of paths as their index. Only
    // the waiting thread may call it. False, with the status set, when path cannot be
    // watched; index then watches nothing.
    bool watch(uint32_t index, const std::string& path, qxerr::Status& status);
    // The same for only these events of path (kEntriesComeAndGo, for instance).
    bool watch(uint32_t index, const std::string& path, uint32_t events, qxerr::Status& status);

private:
    DirectoryMonitor() = default;
    void open(const char* const* paths, size_t count, qxerr::Status& status);
    bool storeWatch(int32_t watch, qxerr::Status& status);
    int32_t addWatch(const char* path, uint32_t events, qxerr::Status& status);
    // 1 readable pipe, 2 readable inotify, 0 timeout, -1 failure.
    int waitReadable(uint32_t timeoutMs, qxerr::Status& status);
    // 1 an event (its mask, watch and name, if asked for, are returned), 0 nothing to
    // read, -1 failure.
    int readFirstEvent(uint32_t& mask, int32_t& watch, std::string* name, qxerr::Status& status);

    UniqueFd inotify_;
    std::vector<int32_t> watches_;
    UniqueFd wakeRead_;
    UniqueFd wakeWrite_;
};

}  // namespace qxafa
