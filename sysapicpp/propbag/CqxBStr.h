// SPDX-License-Identifier: MIT
#pragma once
// Owning holder of a host string (length-prefixed wide block); null means empty.

#include <cstdint>

class CqxBStr {
public:
    CqxBStr() = default;
    // Copies the NUL-terminated text (null gives an empty string); std::bad_alloc when
    // memory runs out.
    explicit CqxBStr(const wchar_t* text);
    CqxBStr(const CqxBStr& other);
    CqxBStr(CqxBStr&& other) noexcept;
    CqxBStr& operator=(const CqxBStr& other);
    CqxBStr& operator=(CqxBStr&& other) noexcept;
    ~CqxBStr();

    // Null for an empty string that was never given text.
    const wchar_t* get() const { return text_; }
    uint32_t length() const;
    // A new host string for a receiver that frees it; null for null.
    wchar_t* copy() const;

private:
    wchar_t* text_ = nullptr;
};
