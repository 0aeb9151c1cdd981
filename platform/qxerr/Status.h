// SPDX-License-Identifier: MIT
#pragma once
// Status codes, the status record with its JSON report, and source-location records.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qxerr {

// Platform status codes. 0 success, negative error, positive warning.
enum : int32_t {
    qxapalerr_memoryFull = -52000,
    qxapalerr_softwareFaultAPALInternalUseOnly = -52003,
    qxapalerr_invalidParameter = -52005,
    qxapalerr_resourceNotFound = -52006,
    qxapalerr_operationTimedOut = -52007,
    qxapalerr_osFault = -52008,
    qxapalerr_bufferTooSmall = -52019,
    qxapalerr_fileReadFailed = -52024,
};

// The deliverable's component name ("qxserialconfig" in the tool, "qx561xsae" in the
// plug-in). Each executable or shared library that links the platform defines it once.
extern const char kComponent[];

struct Status;
using tReallocate = bool (*)(Status* status, uint32_t newCapacity);

// Grows the report buffer to 512 bytes, then to powers of two; 0 frees it.
bool standardReallocate(Status* status, uint32_t newCapacity);

struct Status {
    int32_t code = 0;
    uint32_t capacity = 0;
    tReallocate reallocate = &standardReallocate;
    char* report = nullptr;

    Status() = default;
    ~Status();
    // Moving hands the buffer over when both sides share the reallocate function.
    Status(Status&& other) noexcept;
    Status& operator=(Status&& other) noexcept;
    Status(const Status& other);
    Status& operator=(const Status& other);

    int32_t getCode() const { return code; }
    bool isFatal() const { return code < 0; }
    // The report text, or "" when there is none.
    const char* reportText() const { return report ? report : ""; }
};

// A constant record per raise site.
struct SourceLocation {
    const char* file;
    int32_t line;
    const char* component;
    const char* errorConstant;
};

// Merge rule: the first error wins; a warning gives way only to an error.
bool setCode(Status& status, int32_t code);
// setCode, and when taken, a fresh report with the location's members.
bool setCodeWithLocation(Status& status, int32_t code, const SourceLocation& location);

// Report writers. A cursor points at the closing brace of the object being filled;
// each writer returns the new cursor, or null when the buffer could not grow.
char* reportOpen(Status& status);
char* reportAddString(Status& status, char* cursor, std::string_view key, std::string_view value);
char* reportAddInt(Status& status, char* cursor, std::string_view key, int32_t value);
char* reportAddUnsigned(Status& status, char* cursor, std::string_view key, uint32_t value);
char* reportAddObject(Status& status, char* cursor, std::string_view key);
char* reportStepOut(Status& status, char* cursor);

// Report readers over a top-level object; the default when the key is absent
// or holds another type.
std::string reportGetString(const char* report, std::string_view key,
                            std::string_view defaultValue = {});
int64_t reportGetInt(const char* report, std::string_view key, int64_t defaultValue = 0);

// JSON string escaping as the reports use it (without the surrounding quotes).
std::string escapeJson(std::string_view text);

}  // namespace qxerr
