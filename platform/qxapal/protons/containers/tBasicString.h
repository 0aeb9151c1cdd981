// SPDX-License-Identifier: MIT
#pragma once
// A small owned, NUL-terminated string that reports allocation failure instead of throwing.

#include <cstddef>

namespace qxapal {

class tBasicString {
public:
    tBasicString() = default;
    ~tBasicString();
    tBasicString(const tBasicString&) = delete;
    tBasicString& operator=(const tBasicString&) = delete;

    // Copies n characters; returns false (and keeps the old text) when memory runs out.
    bool assign(const char* text, std::size_t n);
    bool assign(const char* text);
    void clear();

    // Null until something was assigned.
    const char* data() const { return data_; }
    // Never null.
    const char* c_str() const { return data_ ? data_ : ""; }
    std::size_t length() const { return length_; }
    std::size_t capacity() const { return capacity_; }
    bool allocationFailed() const { return allocationFailed_; }

private:
    char* data_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t length_ = 0;
    bool allocationFailed_ = false;
};

}  // namespace qxapal
