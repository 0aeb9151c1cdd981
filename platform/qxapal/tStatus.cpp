// SPDX-License-Identifier: MIT
#include "platform/qxapal/tStatus.h"

#include <cstring>
#include <exception>

#include "platform/qxerr/Exception.h"

namespace qxapal {
namespace {

constexpr std::size_t kComponentChars = sizeof(tStatus::component) - 1;
constexpr std::size_t kFileChars = sizeof(tStatus::file) - 1;
constexpr std::size_t kFileHalf = 49;

bool holdsLocation(const tStatus& status) { return status.structSize >= sizeof(tStatus); }

void copyCut(char* target, std::size_t chars, const char* text) {
    std::size_t n = text ? std::strlen(text) : 0;
    if (n > chars) n = chars;
    std::memcpy(target, text ? text : "", n);
    std::memset(target + n, 0, chars + 1 - n);
}

// A long path keeps its head and its tail, which together still identify the file.
void copyFile(char* target, const char* path) {
    const std::size_t n = path ? std::strlen(path) : 0;
    if (n <= kFileChars) {
        copyCut(target, kFileChars, path);
        return;
    }
    std::memcpy(target, path, kFileHalf);
    std::memcpy(target + kFileHalf, "..", 2);
    std::memcpy(target + kFileHalf + 2, path + n - kFileHalf, kFileHalf);
    std::memset(target + 2 * kFileHalf + 2, 0, kFileChars + 1 - (2 * kFileHalf + 2));
}

}  // namespace

bool setCode(tStatus* status, int64_t code) {
    if (status == nullptr || code == 0 || status->code < 0) return false;
    if (status->code > 0 && code > 0) return false;
    status->code = code;
    return true;
}

bool setCodeWithFileLine(tStatus* status, int64_t code, const char* component, const char* file,
                         uint64_t line) {
    if (!setCode(status, code)) return false;
    if (!holdsLocation(*status)) return true;
    copyCut(status->component, kComponentChars, component);
    copyFile(status->file, file);
    status->line = line;
    status->reserved = 0;
    return true;
}

bool setCodeWithFileLine(tStatus* status, int64_t code, const qxerr::SourceLocation& location) {
    return setCodeWithFileLine(status, code, location.component, location.file,
                               static_cast<uint64_t>(location.line));
}

qxerr::Status toStatus(const tStatus& status) {
    qxerr::Status result;
    qxerr::setCode(result, static_cast<int32_t>(status.code));
    if (!holdsLocation(status)) return result;
    const bool hasFile = status.file[0] != '\0';
    const bool hasComponent = status.component[0] != '\0';
    if (!hasFile && !hasComponent) return result;
    char* cursor = qxerr::reportOpen(result);
    if (hasFile) {
        cursor = qxerr::reportAddString(result, cursor, "file",
                                        std::string_view(status.file, strnlen(status.file, sizeof status.file)));
        if (cursor)
            cursor = qxerr::reportAddInt(result, cursor, "line",
                                         static_cast<int32_t>(static_cast<uint32_t>(status.line)));
    }
    if (hasComponent && cursor)
        qxerr::reportAddString(result, cursor, "component",
                               std::string_view(status.component,
                                                strnlen(status.component, sizeof status.component)));
    return result;
}

void throwIfFatal(const tStatus& status) {
    if (status.code >= 0 || std::uncaught_exceptions() > 0) return;
    throw qxerr::Exception(toStatus(status));
}

}  // namespace qxapal
