#include "platform/qxerr/Exception.h"

#include <cstring>

namespace qxerr {
namespace {

// strerror_r comes in two flavours; both end up as a pointer to the text.
[[maybe_unused]] const char* errorText(int result, const char* buffer) { return result == 0 ? buffer : nullptr; }
[[maybe_unused]] const char* errorText(const char* result, const char*) { return result; }

}  // namespace

Raise::Raise(int32_t code, const SourceLocation& location)
    : component_(location.component) {
    setCodeWithLocation(status_, code, location);
    cursor_ = reportOpen(status_);
}

Raise& Raise::osError(int error) {
    char buffer[256] = {};
    const char* text = errorText(strerror_r(error, buffer, sizeof buffer), buffer);
    char* inner = reportAddObject(status_, cursor_, "internal_error");
    inner = reportAddString(status_, inner, "api", "errno");
    inner = reportAddInt(status_, inner, "code", error);
    if (text && *text) inner = reportAddString(status_, inner, "string", text);
    // A writer that failed part-way may already have moved the buffer, so the old
    // cursor is not to be trusted; the top-level closing brace is found afresh.
    cursor_ = inner ? reportStepOut(status_, inner) : reportOpen(status_);
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
