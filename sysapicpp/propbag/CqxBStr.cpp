// SPDX-License-Identifier: MIT
#include "sysapicpp/propbag/CqxBStr.h"

#include <new>
#include <utility>

#include "platform/qx/dsc/HostString.h"

CqxBStr::CqxBStr(const wchar_t* text) : text_(qx::dsc::allocHostString(text)) {
    if (text && !text_) throw std::bad_alloc();  // too long for a host string
}

CqxBStr::CqxBStr(const CqxBStr& other) : text_(other.copy()) {}

CqxBStr::CqxBStr(CqxBStr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}

CqxBStr& CqxBStr::operator=(const CqxBStr& other) {
    if (this != &other) {
        wchar_t* copied = other.copy();
        qx::dsc::freeHostString(text_);
        text_ = copied;
    }
    return *this;
}

CqxBStr& CqxBStr::operator=(CqxBStr&& other) noexcept {
    if (this != &other) {
        qx::dsc::freeHostString(text_);
        text_ = std::exchange(other.text_, nullptr);
    }
    return *this;
}

CqxBStr::~CqxBStr() { qx::dsc::freeHostString(text_); }

uint32_t CqxBStr::length() const { return qx::dsc::hostStringLength(text_); }

wchar_t* CqxBStr::copy() const {
    if (!text_) return nullptr;
    wchar_t* copied = qx::dsc::allocHostString(text_, qx::dsc::hostStringLength(text_));
    if (!copied) throw std::bad_alloc();
    return copied;
}
