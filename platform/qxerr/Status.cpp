// SPDX-License-Identifier: MIT
#include "platform/qxerr/Status.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qxerr {
namespace {

constexpr uint32_t kMinimumCapacity = 512;
constexpr uint32_t kLargestRequest = 0x7FFFFFFD;
constexpr char kMarker = 'J';

uint32_t grownSize(uint32_t n) {
    if (n <= kMinimumCapacity) return kMinimumCapacity;
    uint32_t size = kMinimumCapacity;
    while (size < n) size <<= 1;
    return size;
}

void freeBuffer(Status& status) {
    if (status.report && status.reallocate) status.reallocate(&status, 0);
}

// Bytes that can still be inserted before the marker.
size_t spareBytes(const Status& status) {
    if (!status.report) return 0;
    return status.capacity - std::strlen(status.report) - 2;  // terminator and 'J'
}

// Makes room for `extra` more characters; the cursor is kept as an offset.
char* ensureRoom(Status& status, char* cursor, size_t extra) {
    if (!cursor || !status.report) return nullptr;
    if (spareBytes(status) >= extra) return cursor;
    const size_t offset = static_cast<size_t>(cursor - status.report);
    const size_t needed = std::strlen(status.report) + extra + 2;
    if (needed > kLargestRequest || !status.reallocate ||
        !status.reallocate(&status, static_cast<uint32_t>(needed)))
        return nullptr;
    return status.report + offset;
}

// Inserts text at the cursor; returns a pointer just past the inserted text.
char* insertAt(Status& status, char* cursor, const std::string& text) {
    cursor = ensureRoom(status, cursor, text.size());
    if (!cursor) return nullptr;
    std::memmove(cursor + text.size(), cursor, std::strlen(cursor) + 1);
    std::memcpy(cursor, text.data(), text.size());
    return cursor + text.size();
}

// A member is the first of its object when the cursor directly follows its '{'.
bool firstMember(const Status& status, const char* cursor) {
    return cursor > status.report && cursor[-1] == '{';
}

std::string quoted(std::string_view text) { return "\"" + escapeJson(text) + "\""; }

char* addMember(Status& status, char* cursor, std::string_view key, const std::string& value) {
    if (!cursor) return nullptr;
    std::string text = firstMember(status, cursor) ? "" : ",";
    text += quoted(key) + ":" + value;
    return insertAt(status, cursor, text);
}

void resetReport(Status& status) {
    if (!status.report) return;
    std::memset(status.report, 0, status.capacity);
    std::memcpy(status.report, "{}", 2);
    status.report[status.capacity - 1] = kMarker;
}

// Locates the value text of a top-level member; null when absent.
const char* findMember(const char* report, std::string_view key) {
    if (!report || *report != '{') return nullptr;
    const std::string wanted = quoted(key) + ":";
    int depth = 0;
    bool inString = false;
    for (const char* p = report; *p; ++p) {
        if (inString) {
            if (*p == '\\' && p[1]) ++p;
            else if (*p == '"') inString = false;
            continue;
        }
        if (*p == '{') { ++depth; continue; }
        if (*p == '}') { --depth; continue; }
        if (*p != '"') continue;
        if (depth == 1 && (p[-1] == '{' || p[-1] == ',') &&
            std::strncmp(p, wanted.c_str(), wanted.size()) == 0)
            return p + wanted.size();
        inString = true;
    }
    return nullptr;
}

}  // namespace

bool standardReallocate(Status* status, uint32_t newCapacity) {
    if (newCapacity == 0) {
        std::free(status->report);
        status->report = nullptr;
        status->capacity = 0;
        return true;
    }
    if (newCapacity <= status->capacity) return true;
    if (newCapacity > kLargestRequest) return false;
    const uint32_t size = grownSize(newCapacity);
    char* buffer = static_cast<char*>(std::calloc(size, 1));
    if (!buffer) return false;
    std::strcpy(buffer, status->report ? status->report : "{}");
    buffer[size - 1] = kMarker;
    std::free(status->report);
    status->report = buffer;
    status->capacity = size;
    return true;
}

Status::~Status() { freeBuffer(*this); }

Status::Status(Status&& other) noexcept { *this = std::move(other); }

Status& Status::operator=(Status&& other) noexcept {
    if (this == &other) return *this;
    code = other.code;
    if (reallocate == other.reallocate) {
        freeBuffer(*this);
        report = other.report;
        capacity = other.capacity;
        other.report = nullptr;
        other.capacity = 0;
        return *this;
    }
    *this = static_cast<const Status&>(other);
    return *this;
}

Status::Status(const Status& other) { *this = other; }

Status& Status::operator=(const Status& other) {
    if (this == &other) return *this;
    code = other.code;
    freeBuffer(*this);
    if (other.report && reallocate(this, static_cast<uint32_t>(std::strlen(other.report) + 2)))
        std::strcpy(report, other.report);
    return *this;
}

bool setCode(Status& status, int32_t code) {
    const bool taken = status.code == 0 ? code != 0 : status.code > 0 && code < 0;
    if (!taken) return false;
    status.code = code;
    resetReport(status);
    return true;
}

bool setCodeWithLocation(Status& status, int32_t code, const SourceLocation& location) {
    if (!setCode(status, code)) return false;
    if (!status.report) status.reallocate(&status, kMinimumCapacity);
    resetReport(status);
    char* cursor = reportOpen(status);
    cursor = reportAddString(status, cursor, "error_constant",
                             location.errorConstant ? location.errorConstant : "");
    cursor = reportAddString(status, cursor, "file", location.file ? location.file : "");
    cursor = reportAddInt(status, cursor, "line", location.line);
    if (location.component && *location.component)
        reportAddString(status, cursor, "component", location.component);
    return true;
}

char* reportOpen(Status& status) {
    if (!status.report && !status.reallocate(&status, kMinimumCapacity)) return nullptr;
    char* end = std::strrchr(status.report, '}');
    return end;
}

char* reportAddString(Status& status, char* cursor, std::string_view key, std::string_view value) {
    return addMember(status, cursor, key, quoted(value));
}

char* reportAddInt(Status& status, char* cursor, std::string_view key, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%i", value);
    return addMember(status, cursor, key, text);
}

char* reportAddUnsigned(Status& status, char* cursor, std::string_view key, uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", value);
    return addMember(status, cursor, key, text);
}

char* reportAddObject(Status& status, char* cursor, std::string_view key) {
    char* after = addMember(status, cursor, key, "{}");
    return after ? after - 1 : nullptr;
}

char* reportStepOut(Status&, char* cursor) { return cursor ? cursor + 1 : nullptr; }

std::string escapeJson(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        switch (c) {
        case '\b': out += "\\b"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\f': out += "\\f"; break;
        case '\r': out += "\\r"; break;
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out;
}

std::string reportGetString(const char* report, std::string_view key,
                            std::string_view defaultValue) {
    const char* p = findMember(report, key);
    if (!p || *p != '"') return std::string(defaultValue);
    std::string value;
    for (++p; *p && *p != '"'; ++p) {
        if (*p != '\\' || !p[1]) { value += *p; continue; }
        switch (*++p) {
        case 'b': value += '\b'; break;
        case 't': value += '\t'; break;
        case 'n': value += '\n'; break;
        case 'f': value += '\f'; break;
        case 'r': value += '\r'; break;
        case 'u': {
            unsigned code = 0;
            if (std::sscanf(p + 1, "%4x", &code) == 1) {
                value += static_cast<char>(code);
                p += 4;
            }
            break;
        }
        default: value += *p;
        }
    }
    return value;
}

int64_t reportGetInt(const char* report, std::string_view key, int64_t defaultValue) {
    const char* p = findMember(report, key);
    if (!p) return defaultValue;
    char* end = nullptr;
    const long long value = std::strtoll(p, &end, 10);
    return end == p ? defaultValue : value;
}

}  // namespace qxerr
