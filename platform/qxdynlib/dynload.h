// SPDX-License-Identifier: MIT
#pragma once
// Loading shared libraries at run time, with failures reported in a status.

#include "platform/qxerr/Status.h"

namespace qxdynlib {

// Null on failure (qxapalerr_invalidParameter with the loader's message), or at once
// when the status already holds an error.
void* loadLibrary(const char* fileName, int flags, qxerr::Status& status);
// Null on failure (qxapalerr_invalidParameter naming the symbol), or at once when the
// status already holds an error.
void* getSymbol(void* library, const char* symbolName, qxerr::Status& status);
void unloadLibrary(void* library);

}  // namespace qxdynlib
