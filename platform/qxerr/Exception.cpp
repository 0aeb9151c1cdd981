// SPDX-License-Identifier: MIT
#include "platform/qxerr/Exception.h"

#include <cstring>

namespace qxerr {
namespace {

// strerror_r comes in two flavours; both end up as a pointer to the text.
[[maybe_unused]] const char* errorText(int result, const char* buffer) { return result == 0 ? buffer : nullptr; }
[[maybe_unused]] const char* errorText(const char* result, const char*) { return result; }

}  // namespace

char* reportAddInternalError(Status& status, char* cursor, const char* api, const int32_t* code,
                             const char* text) {
    char* inner = reportAddObject(status, cursor, "internal_error");
    if (inner) inner = reportAddString(status, inner, "api", api);
    if (inner && code) inner = reportAddInt(status, inner, "code", *code);
    if (inner && text) inner = reportAddString(status, inner, "string", text);
    return reportStepOut(status, inner);
}

char* reportAddErrno(Status& status, char* cursor, int error) {
    char buffer[256] = {};
    const char* text = errorText(strerror_r(error, buffer, sizeof buffer), buffer);
    const int32_t code = error;
    return reportAddInternalError(status, cursor, "errno", &code, text && *text ? text : nullptr);
}

bool setCodeWithErrno(Status& status, int32_t code, const SourceLocation& location, int error) {
    if (!setCodeWithLocation(status, code, location)) return false;
    if (char* cursor = reportOpen(status)) reportAddErrno(status, cursor, error);
    return true;
}

Raise::Raise(int32_t code, const SourceLocation& location)
    : component_(location.component) {
    setCodeWithLocation(status_, code, location);
    cursor_ = reportOpen(status_);
}

Raise& Raise::osError(int error) {
    char* next = reportAddErrno(status_, cursor_, error);
    // A writer that failed part-way may already have moved the buffer, so the old
    // cursor is not to be trusted; the top-level closing brace is found afresh.
    cursor_ = next ? next : reportOpen(status_);
    return *this;
}

Raise& Raise::message(const char* text) {
    if (component_ && *component_ && text) add(component_, text);
    return *this;
}

Raise& Raise::add(const char* key, const char* value) {
    if (char* next = reportAddString(status_, cursor_, key, value)) cursor_ = next;
    return *this;
}

Raise& Raise::addInt(const char* key, int32_t value) {
    if (char* next = reportAddInt(status_, cursor_, key, value)) cursor_ = next;
    return *this;
}

Raise& Raise::addUnsigned(const char* key, uint32_t value) {
    if (char* next = reportAddUnsigned(status_, cursor_, key, value)) cursor_ = next;
    return *this;
}

void Raise::raise() { throw Exception(std::move(status_)); }

void raise(int32_t code, const SourceLocation& location, const char* message) {
    Raise(code, location).message(message).raise();
}

void raiseOsError(int32_t code, const SourceLocation& location, int error, const char* message) {
    Raise(code, location).osError(error).message(message).raise();
}

}  // namespace qxerr
