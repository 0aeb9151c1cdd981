// SPDX-License-Identifier: MIT
#include "platform/qx/dsc/HostString.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <new>

#include "platform/qx/dsc/Utf8.h"

namespace qx::dsc {
namespace {

// Keeps the byte size of the block (4 + 4 * length + 4) well inside 32 bits.
constexpr std::size_t kMaxLength = 0x3FFFFFFF;
constexpr std::size_t kPrefix = sizeof(uint32_t);
static_assert(sizeof(wchar_t) == 4, "host strings are made of 32-bit characters");

char* blockOf(const wchar_t* pointer) {
    return reinterpret_cast<char*>(const_cast<wchar_t*>(pointer)) - kPrefix;
}

}  // namespace

wchar_t* allocHostString(const wchar_t* text, std::size_t length) {
    if (length >= kMaxLength) {
        return nullptr;
    }
    const std::size_t bytes = kPrefix + (length + 1) * sizeof(wchar_t);
    char* block = static_cast<char*>(std::malloc(bytes));
    if (block == nullptr) {
        throw std::bad_alloc();
    }
    const auto count = static_cast<uint32_t>(length);
    std::memcpy(block, &count, sizeof count);
    auto* characters = reinterpret_cast<wchar_t*>(block + kPrefix);
    if (text != nullptr) {
        std::memcpy(characters, text, length * sizeof(wchar_t));
    } else {
        std::memset(characters, 0, length * sizeof(wchar_t));
    }
    characters[length] = L'\0';
    return characters;
}

wchar_t* allocHostString(const wchar_t* text) {
    if (text == nullptr) {
        return nullptr;
    }
    return allocHostString(text, std::wcslen(text));
}

wchar_t* allocHostStringFromUtf8(std::string_view utf8) {
    const std::wstring wide = toWide(utf8);
    return allocHostString(wide.data(), wide.size());
}

void freeHostString(wchar_t* pointer) {
    if (pointer != nullptr) {
        std::free(blockOf(pointer));
    }
}

uint32_t hostStringLength(const wchar_t* pointer) {
    if (pointer == nullptr) {
        return 0;
    }
    uint32_t count = 0;
    std::memcpy(&count, blockOf(pointer), sizeof count);
    return count;
}

}  // namespace qx::dsc
