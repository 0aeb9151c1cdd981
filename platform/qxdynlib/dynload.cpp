// SPDX-License-Identifier: MIT
#include "platform/qxdynlib/dynload.h"

#include <dlfcn.h>

#include <string>

#include "platform/qxerr/Exception.h"

namespace qxdynlib {
namespace {

constexpr const char* kModule = "qxdynlib/dynload";
constexpr qxerr::SourceLocation kLoadFailed{kModule, 65, qxerr::kComponent,
                                            "qxapalerr_invalidParameter"};
constexpr qxerr::SourceLocation kSymbolFailed{kModule, 140, qxerr::kComponent,
                                              "qxapalerr_invalidParameter"};

// The loader's message must be read on this thread right after the failing call.
std::string takeLoaderError() {
    const char* text = dlerror();
    std::string result = text ? text : "";
    dlerror();  // leaves the loader's error state clear
    return result;
}

void reportFailure(qxerr::Status& status, const qxerr::SourceLocation& location,
                   const char* debug, const char* nameKey, const char* name,
                   const std::string& loaderError) {
    if (!qxerr::setCodeWithLocation(status, qxerr::qxapalerr_invalidParameter, location)) {
        return;
    }
    char* cursor = qxerr::reportOpen(status);
    if (cursor) cursor = qxerr::reportAddObject(status, cursor, "qxdynlib_debug");
    if (cursor) cursor = qxerr::reportAddString(status, cursor, "debug", debug);
    if (cursor) cursor = qxerr::reportAddString(status, cursor, nameKey, name ? name : "");
    if (cursor) cursor = qxerr::reportStepOut(status, cursor);
    qxerr::reportAddInternalError(status, cursor, "dlerror", nullptr, loaderError.c_str());
}

}  // namespace

void* loadLibrary(const char* fileName, int flags, qxerr::Status& status) {
    if (status.isFatal()) {
        return nullptr;
    }
    void* library = dlopen(fileName, flags);
    if (!library) {
        const std::string loaderError = takeLoaderError();
        reportFailure(status, kLoadFailed, "failed to qxdynlib_load library", "path", fileName,
                      loaderError);
    }
    return library;
}

void* getSymbol(void* library, const char* symbolName, qxerr::Status& status) {
    if (status.isFatal()) {
        return nullptr;
    }
    dlerror();
    void* address = dlsym(library, symbolName);
    if (!address) {
        const std::string loaderError = takeLoaderError();
        reportFailure(status, kSymbolFailed, "failed to get symbol", "qxdynlib_symbol", symbolName,
                      loaderError);
    }
    return address;
}

void unloadLibrary(void* library) {
    if (library) {
        dlclose(library);
    }
}

}  // namespace qxdynlib
