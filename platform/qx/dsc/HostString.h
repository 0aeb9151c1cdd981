// SPDX-License-Identifier: MIT
#pragma once
// Host strings: the length-prefixed wide strings handed to the host, which frees them.
// Block layout: uint32 character count, the characters, a 32-bit NUL. The pointer given
// out points at the first character, 4 bytes into the block; the block is malloc'ed, so
// a host releases it with free(pointer - 4 bytes). A null pointer is an empty string.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

namespace qx::dsc {

// A copy of a NUL-terminated wide text. Null text gives null; a text of 0x3FFFFFFF
// characters or more gives null. Throws std::bad_alloc when memory runs out.
wchar_t* allocHostString(const wchar_t* text);

// A copy of `length` characters of text (embedded NULs kept). Null text gives a string
// of `length` NUL characters. A length of 0x3FFFFFFF or more gives null.
// Throws std::bad_alloc when memory runs out.
wchar_t* allocHostString(const wchar_t* text, std::size_t length);

// The UTF-8 text converted into a new host string (throws as toWide, or std::bad_alloc).
wchar_t* allocHostStringFromUtf8(std::string_view utf8);

// Releases a host string; null is ignored.
void freeHostString(wchar_t* pointer);

// The stored character count; 0 for null.
uint32_t hostStringLength(const wchar_t* pointer);

// Owns one host string and frees it when it goes, unless it was handed on with release().
class HostStringHolder {
public:
    HostStringHolder() = default;
    explicit HostStringHolder(wchar_t* text) : text_(text) {}
    ~HostStringHolder() { freeHostString(text_); }
    HostStringHolder(HostStringHolder&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
    HostStringHolder& operator=(HostStringHolder&& other) noexcept {
        if (this != &other) {
            freeHostString(text_);
            text_ = std::exchange(other.text_, nullptr);
        }
        return *this;
    }
    HostStringHolder(const HostStringHolder&) = delete;
    HostStringHolder& operator=(const HostStringHolder&) = delete;

    wchar_t* get() const { return text_; }
    wchar_t* release() { return std::exchange(text_, nullptr); }
    // For an out parameter: frees what is held and lends the slot.
    wchar_t** receive() {
        freeHostString(std::exchange(text_, nullptr));
        return &text_;
    }
    explicit operator bool() const { return text_ != nullptr; }
    // The characters by their stored count (embedded NULs kept); empty for none.
    std::wstring_view view() const { return {text_ ? text_ : L"", hostStringLength(text_)}; }

private:
    wchar_t* text_ = nullptr;
};

}  // namespace qx::dsc
