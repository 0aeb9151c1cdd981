// SPDX-License-Identifier: MIT
#include "platform/qxapal/protons/containers/tBasicString.h"

#include <cstdlib>
#include <cstring>

namespace qxapal {

tBasicString::~tBasicString() { std::free(data_); }

bool tBasicString::assign(const char* text, std::size_t n) {
    if (n < capacity_) {
        // memmove: the text may be a part of this string's own buffer.
        if (n > 0) std::memmove(data_, text, n);
    } else {
        char* fresh = static_cast<char*>(std::malloc(n + 1));
        if (fresh == nullptr) {
            allocationFailed_ = true;
            return false;
        }
        if (n > 0) std::memcpy(fresh, text, n);
        std::free(data_);
        data_ = fresh;
        capacity_ = n + 1;
    }
    data_[n] = '\0';
    length_ = n;
    return true;
}

bool tBasicString::assign(const char* text) { return assign(text, text ? std::strlen(text) : 0); }

void tBasicString::clear() {
    length_ = 0;
    if (data_) data_[0] = '\0';
}

}  // namespace qxapal
