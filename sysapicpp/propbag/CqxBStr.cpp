#include "sysapicpp/propbag/CqxBStr.h"

#include <new>
#include <utility>

#include "sysapicpp/detail/Dsc.h"

namespace dsc = sysapicpp::dsc;

CqxBStr::CqxBStr(const wchar_t* text) : text_(dsc::allocHostString(text)) {
    if (text && !text_) throw std::bad_alloc();  // too long for a host string
}

CqxBStr::CqxBStr(const CqxBStr& other) : text_(other.copy()) {}

CqxBStr::CqxBStr(CqxBStr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}

CqxBStr& CqxBStr::operator=(const CqxBStr& other) {
    if (this != &other) {
        wchar_t* copied = other.copy();
        dsc::freeHostString(text_);
        text_ = copied;
    }
    return *this;
}

CqxBStr& CqxBStr::operator=(CqxBStr&& other) noexcept {
    if (this != &other) {
        dsc::freeHostString(text_);
        text_ = std::exchange(other.text_, nullptr);
    }
    return *this;
}

CqxBStr::~CqxBStr() { dsc::freeHostString(text_); }

uint32_t CqxBStr::length() const { return dsc::hostStringLength(text_); }

wchar_t* CqxBStr::copy() const {
    if (!text_) return nullptr;
    wchar_t* copied = dsc::allocHostString(text_, dsc::hostStringLength(text_));
    if (!copied) throw std::bad_alloc();
    return copied;
}
