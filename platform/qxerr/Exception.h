// SPDX-License-Identifier: MIT
#pragma once
// Exceptions that carry a status, and the raise pattern of platform failures.

#include <exception>

#include "platform/qxerr/Status.h"

namespace qxerr {

class ExceptionBase {
public:
    explicit ExceptionBase(Status status = {}) : status_(std::move(status)) {}
    virtual ~ExceptionBase() = default;
    // The report text, or "" when the status has none.
    virtual const char* report() const { return status_.reportText(); }

    int32_t getCode() const { return status_.getCode(); }
    const Status& status() const { return status_; }

protected:
    Status status_;
};

class Exception : public virtual std::exception, public virtual ExceptionBase {
public:
    explicit Exception(Status status) : ExceptionBase(std::move(status)) {}
    const char* what() const noexcept override { return status_.reportText(); }
};

// The "internal_error" object of a failed system interface: "api", then "code" and
// "string" when given. Returns the cursor of the enclosing object, or null when the
// buffer could not grow.
char* reportAddInternalError(Status& status, char* cursor, const char* api, const int32_t* code,
                             const char* text);
// The one place where errno becomes part of a report: "api":"errno", the code and its
// strerror_r text (left out when the system has none).
char* reportAddErrno(Status& status, char* cursor, int error);
// The status form of an operating-system failure's raise site: setCodeWithLocation and,
// when the code is taken, the errno object.
bool setCodeWithErrno(Status& status, int32_t code, const SourceLocation& location, int error);

// Builds a failure report at a raise site, then throws it:
//   Raise(qxapalerr_osFault, kOpenFailed).osError(errno).message("failed to open port").raise();
class Raise {
public:
    Raise(int32_t code, const SourceLocation& location);
    // The "internal_error" object: "api" "errno", "code" and the strerror_r text.
    Raise& osError(int error);
    // The component's own message: key = the location's component.
    Raise& message(const char* text);
    Raise& add(const char* key, const char* value);
    Raise& addInt(const char* key, int32_t value);
    Raise& addUnsigned(const char* key, uint32_t value);
    Status take() { return std::move(status_); }
    [[noreturn]] void raise();

private:
    Status status_;
    char* cursor_ = nullptr;
    const char* component_;
};

// Shorthand for a site without extra members.
[[noreturn]] void raise(int32_t code, const SourceLocation& location, const char* message = nullptr);
[[noreturn]] void raiseOsError(int32_t code, const SourceLocation& location, int error,
                               const char* message = nullptr);

}  // namespace qxerr
