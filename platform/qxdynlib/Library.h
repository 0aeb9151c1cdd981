// SPDX-License-Identifier: MIT
#pragma once
// Owns one loaded library; unloading happens when the owner goes.

#include <utility>

#include "platform/qxdynlib/dynload.h"

namespace qxdynlib {

class Library {
public:
    Library() = default;
    // Loads fileName; on failure the object holds nothing and the status says why.
    Library(const char* fileName, int flags, qxerr::Status& status)
        : handle_(loadLibrary(fileName, flags, status)) {}
    ~Library() { unloadLibrary(handle_); }
    Library(Library&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Library& operator=(Library&& other) noexcept {
        if (this != &other) {
            unloadLibrary(handle_);
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }
    void* get() const { return handle_; }
    void* symbol(const char* name, qxerr::Status& status) const {
        return getSymbol(handle_, name, status);
    }

private:
    void* handle_ = nullptr;
};

}  // namespace qxdynlib
