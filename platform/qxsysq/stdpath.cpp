// SPDX-License-Identifier: MIT
#include "platform/qxsysq/stdpath.h"

#include <dlfcn.h>

#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "platform/qxdynlib/dynload.h"
#include "platform/qxerr/Exception.h"

namespace qxsysq {
namespace {

constexpr qxerr::SourceLocation kBufferFailed{"qxapal/protons/cppNewDelete/memoryAllocation", 329,
                                              qxerr::kComponent, "qxapalerr_memoryFull"};
constexpr qxerr::SourceLocation kTableFull{"qxhtl/err/Allocator", 32, qxerr::kComponent,
                                           "qxapalerr_memoryFull"};

constexpr const char* kRelocationLibrary = "libqxrelocations.so.0";
constexpr const char* kRelocationSymbol = "get_relocated_dir";
constexpr int kRelocationFlags = RTLD_NOW | RTLD_GLOBAL;
static_assert(kRelocationFlags == 258, "loader flags");
constexpr size_t kRelocationBufferSize = 255;

using RelocateFunction = int (*)(const char* key, char* buffer, size_t size);

constexpr std::pair<const char*, const char*> kDefaults[] = {
    {"prefixdir", "/usr"},
    {"execprefixdir", "/usr"},
    {"bindir", "/usr/bin"},
    {"sbindir", "/usr/sbin"},
    {"libdir", "/usr/lib"},
    {"lib32dir", "/usr/lib"},
    {"lib64dir", "/usr/lib64"},
    {"nativelibdir", "/usr/lib64"},
    {"multiarchlibdir", "/usr/lib/x86_64-linux-gnu"},
    {"libexecdir", "/usr/libexec"},
    {"sharedstatedir", "/var/lib"},
    {"datarootdir", "/usr/share"},
    {"datadir", "/usr/share"},
    {"sysconfdir", "/etc"},
    {"localstatedir", "/var"},
    {"runstatedir", "/var/run"},
    {"includedir", "/usr/include"},
    {"docdir", "/usr/share/doc"},
    {"initddir", "/etc/init.d"},
};

class PathTable {
public:
    PathTable() {
        enterDefaults();
        relocate();
    }

    const qxerr::Status& initStatus() const { return initStatus_; }

    const std::string* find(const char* key) const {
        for (const auto& entry : entries_) {
            if (entry.first == key) return &entry.second;
        }
        return nullptr;
    }

private:
    void set(const char* key, const char* path) {
        for (auto& entry : entries_) {
            if (entry.first == key) {
                entry.second = path;
                return;
            }
        }
        entries_.emplace_back(key, path);
    }

    void enterDefaults() {
        try {
            entries_.reserve(std::size(kDefaults));
            for (const auto& entry : kDefaults) {
                set(entry.first, entry.second);
            }
        } catch (const std::bad_alloc&) {
            qxerr::setCodeWithLocation(initStatus_, qxerr::qxapalerr_memoryFull, kTableFull);
        }
    }

    void relocate() {
        // A missing library or symbol is no error of the table: the defaults stand.
        qxerr::Status loadStatus;
        void* library = qxdynlib::loadLibrary(kRelocationLibrary, kRelocationFlags, loadStatus);
        auto relocated = reinterpret_cast<RelocateFunction>(
            qxdynlib::getSymbol(library, kRelocationSymbol, loadStatus));
        if (library && relocated && !initStatus_.isFatal()) {
            for (const auto& entry : kDefaults) {
                if (initStatus_.isFatal()) break;
                relocateKey(relocated, entry.first);
            }
        }
        qxdynlib::unloadLibrary(library);
    }

    void relocateKey(RelocateFunction relocated, const char* key) {
        // One byte more than the library is told, so that a path it leaves
        // unterminated still ends within the buffer.
        std::unique_ptr<char[]> buffer(new (std::nothrow) char[kRelocationBufferSize + 1]);
        if (!buffer) {
            qxerr::setCodeWithLocation(initStatus_, qxerr::qxapalerr_memoryFull, kBufferFailed);
            return;
        }
        std::memset(buffer.get(), 0, kRelocationBufferSize + 1);
        const int result = relocated(key, buffer.get(), kRelocationBufferSize);
        if (result > 0) {
            try {
                set(key, buffer.get());
            } catch (const std::bad_alloc&) {
                qxerr::setCodeWithLocation(initStatus_, qxerr::qxapalerr_memoryFull, kTableFull);
            }
        } else if (result < 0) {
            qxerr::setCode(initStatus_, qxerr::qxapalerr_resourceNotFound);
        }
    }

    std::vector<std::pair<std::string, std::string>> entries_;
    qxerr::Status initStatus_;
};

const PathTable& table() {
    static const PathTable instance;
    return instance;
}

// Each deliverable builds the table while it starts (or is loaded), not on a later
// thread in the middle of its work.
[[maybe_unused]] const bool kBuiltAtStart = (table(), true);

}  // namespace

void lookupStandardPath(const char* key, std::string& target, qxerr::Status& status) {
    if (status.isFatal()) {
        return;
    }
    const std::string* path = table().find(key);
    if (!path) {
        qxerr::setCode(status, qxerr::qxapalerr_osFault);
        return;
    }
    try {
        target = *path;
    } catch (const std::bad_alloc&) {
        qxerr::setCodeWithLocation(status, qxerr::qxapalerr_memoryFull, kTableFull);
    }
}

std::string getSysconfDir() {
    qxerr::Status status(table().initStatus());
    std::string path;
    lookupStandardPath("sysconfdir", path, status);
    if (status.isFatal()) {
        throw qxerr::Exception(std::move(status));
    }
    return path;
}

}  // namespace qxsysq
