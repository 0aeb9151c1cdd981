// SPDX-License-Identifier: MIT
#pragma once
// The platform layer's fixed-size status record: filled by the callee, turned into a
// qxerr::Exception by the layers above.

#include <cstddef>
#include <cstdint>

#include "platform/qxerr/Status.h"

namespace qxapal {

struct tStatus {
    // The caller sets this; a record smaller than sizeof(tStatus) receives only the code.
    uint64_t structSize = sizeof(tStatus);
    int64_t code = 0;
    char component[10] = {};
    char file[101] = {};
    char pad0[1] = {};
    uint64_t line = 0;
    uint64_t reserved = 0;
    char pad1[72] = {};

    bool isFatal() const { return code < 0; }
    bool isNotFatal() const { return code >= 0; }
    int64_t getCode() const { return code; }
};

static_assert(sizeof(tStatus) == 216, "the record's size is part of the platform contract");
static_assert(offsetof(tStatus, line) == 128, "no hidden padding in the record");

// Merge rule of qxerr::setCode: the first error wins, a warning yields only to an error.
bool setCode(tStatus* status, int64_t code);
// setCode; when taken and the record is full-sized, also the raise site's location.
bool setCodeWithFileLine(tStatus* status, int64_t code, const char* component, const char* file,
                         uint64_t line);
bool setCodeWithFileLine(tStatus* status, int64_t code, const qxerr::SourceLocation& location);

// The record as a qxerr::Status: the code, then "file", "line" and "component" when present.
qxerr::Status toStatus(const tStatus& status);
// Throws the record as qxerr::Exception when it holds an error, unless an exception is
// already unwinding.
void throwIfFatal(const tStatus& status);

}  // namespace qxapal
