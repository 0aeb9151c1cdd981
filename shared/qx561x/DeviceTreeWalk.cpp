// SPDX-License-Identifier: MIT
#include "shared/qx561x/DeviceTreeWalk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/qxafa/UniqueFd.h"
#include "platform/qxerr/Exception.h"

namespace qx561x {
namespace {

constexpr const char* kModule = "shared/qx561x/DeviceTreeWalk";
// Sites of our own; both failures end the walk the callers are in.
constexpr qxerr::SourceLocation kOpenFailed{kModule, 61, qxerr::kComponent, "qxapalerr_osFault"};
constexpr qxerr::SourceLocation kReadFailed{kModule, 75, qxerr::kComponent, "qxapalerr_osFault"};

constexpr std::size_t kBufferSize = 32 * 1024;

// Room for the entries getdents hands out; left uninitialised, as it overwrites what it uses
// (zeroing it cost more than reading a board's small directories).
struct EntryBuffer {
    EntryBuffer() {}
    char bytes[kBufferSize];
};

bool isDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

class Walk {
public:
    explicit Walk(const DeviceTreeVisitor& visit) : visit_(visit) {}

    void run(const std::string& root) {
        // The root is opened as named, following a link; below it nothing is followed.
        qxafa::UniqueFd directory(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!directory) qxerr::raiseOsError(qxerr::qxapalerr_osFault, kOpenFailed, errno);
        std::string path = root;
        const bool separated = !path.empty() && path.back() == '/';
        visitDirectory(directory.get(), path, separated, 0);
    }

private:
    // Entries stay in the buffer of their depth while the walk is below them.
    char* buffer(std::size_t depth) {
        while (buffers_.size() <= depth) buffers_.push_back(std::make_unique<EntryBuffer>());
        return buffers_[depth]->bytes;
    }

    bool isDirectory(int parent, const dirent64& entry) const {
        if (entry.d_type != DT_UNKNOWN) return entry.d_type == DT_DIR;
        struct stat status {};
        return ::fstatat(parent, entry.d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
               S_ISDIR(status.st_mode);
    }

    // A directory that went away (or became something else) after it was listed is passed
    // over: a board unplugged during the walk must not hide the boards after it.
    void descend(int parent, const char* name, std::string& path, std::size_t depth) {
        qxafa::UniqueFd child(
            ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!child && (errno == ENOENT || errno == ENOTDIR)) return;
        if (!child) qxerr::raiseOsError(qxerr::qxapalerr_osFault, kOpenFailed, errno);
        visitDirectory(child.get(), path, false, depth + 1);
    }

    void visitDirectory(int directory, std::string& path, bool separated, std::size_t depth) {
        char* entries = buffer(depth);
        for (;;) {
            const ssize_t size = ::getdents64(directory, entries, kBufferSize);
            if (size < 0 && errno == EINTR) continue;
            if (size < 0 && errno == ENOENT) return;  // removed while it was read
            if (size < 0) qxerr::raiseOsError(qxerr::qxapalerr_osFault, kReadFailed, errno);
            if (size == 0) return;
            for (ssize_t offset = 0; offset < size;) {
                const auto& entry = *reinterpret_cast<const dirent64*>(entries + offset);
                offset += entry.d_reclen;
                if (isDotOrDotDot(entry.d_name)) continue;
                const std::size_t end = path.size();
                if (!separated) path += '/';
                const std::size_t nameOffset = path.size();
                path += entry.d_name;
                visit_(path, nameOffset);
                if (isDirectory(directory, entry)) descend(directory, entry.d_name, path, depth);
                path.resize(end);
            }
        }
    }

    const DeviceTreeVisitor& visit_;
    std::vector<std::unique_ptr<EntryBuffer>> buffers_;
};

}  // namespace

void walkDeviceTree(const std::string& root, const DeviceTreeVisitor& visit) {
    Walk(visit).run(root);
}

}  // namespace qx561x
