// SPDX-License-Identifier: MIT
#include "platform/qx/dsc/Utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>

#include "platform/qx/dsc/Exception.h"

namespace qx::dsc {
namespace {

constexpr const char* kModule = "qx/dsc/Utf8";
#define QX_DSC_THROW(Type) throw exception::Type(kModule, __LINE__)

bool isContinuation(unsigned char byte) { return byte >= 0x80 && byte <= 0xBF; }

// Decodes one sequence at p and advances p past it; false (p unchanged) when the bytes
// there are no valid sequence. Never reads at or beyond end.
bool tryDecodeOne(const unsigned char*& p, const unsigned char* end, uint32_t& out) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
        ++p;
        out = lead;
        return true;
    }
    std::size_t continuations = 0;
    uint32_t value = 0;
    unsigned char minSecond = 0x80;  // rejects overlong forms
    if (lead >= 0xC2 && lead <= 0xDF) {
        continuations = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        continuations = 2;
        value = lead & 0x0F;
        minSecond = lead == 0xE0 ? 0xA0 : 0x80;
    } else if (lead >= 0xF0 && lead <= 0xF7) {
        continuations = 3;
        value = lead & 0x07;
        minSecond = lead == 0xF0 ? 0x90 : 0x80;
    } else if (lead >= 0xF8 && lead <= 0xFB) {
        // Five bytes, as encodeOne writes values below 0x4000000, so its output decodes back.
        continuations = 4;
        value = lead & 0x03;
        minSecond = lead == 0xF8 ? 0x88 : 0x80;
    } else if (lead >= 0xFC && lead <= 0xFD) {
        continuations = 5;
        value = lead & 0x01;
        minSecond = lead == 0xFC ? 0x84 : 0x80;
    } else {
        return false;  // stray continuation, C0, C1, FE, FF
    }
    if (static_cast<std::size_t>(end - p) <= continuations) {
        return false;
    }
    if (p[1] < minSecond) {
        return false;
    }
    for (std::size_t i = 1; i <= continuations; ++i) {
        if (!isContinuation(p[i])) {
            return false;
        }
        value = (value << 6) | (p[i] & 0x3F);
    }
    p += continuations + 1;
    out = value;
    return true;
}

uint32_t decodeOne(const unsigned char*& p, const unsigned char* end) {
    uint32_t value = 0;
    if (!tryDecodeOne(p, end, value)) {
        QX_DSC_THROW(InvalidSequence);
    }
    return value;
}

std::size_t encodedLength(uint32_t c) {
    if (c < 0x80) return 1;
    if (c < 0x800) return 2;
    if (c < 0x10000) return 3;
    if (c < 0x200000) return 4;
    if (c < 0x4000000) return 5;
    if (c < 0x80000000) return 6;
    return 1;  // "?"
}

void encodeOne(uint32_t c, std::size_t length, char* out) {
    if (c >= 0x80000000) {
        *out = '?';
        return;
    }
    if (length == 1) {
        *out = static_cast<char>(c);
        return;
    }
    static constexpr unsigned char kLeadMarks[] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
    for (std::size_t i = length - 1; i > 0; --i) {
        out[i] = static_cast<char>(0x80 | (c & 0x3F));
        c >>= 6;
    }
    out[0] = static_cast<char>(kLeadMarks[length] | c);
}

void checkInputRange(const void* begin, const void* end) {
    if (begin > end || (begin == nullptr) != (end == nullptr)) {
        QX_DSC_THROW(InvalidArgument);
    }
}

void checkOutputRange(const void* out, const void* outEnd) {
    if (out == nullptr || outEnd == nullptr || out > outEnd) {
        QX_DSC_THROW(InvalidArgument);
    }
}

}  // namespace

std::size_t utf8Length(const char* begin, const char* end) {
    checkInputRange(begin, end);
    auto p = reinterpret_cast<const unsigned char*>(begin);
    const auto last = reinterpret_cast<const unsigned char*>(end);
    std::size_t count = 0;
    while (p != last) {
        decodeOne(p, last);
        ++count;
    }
    return count;
}

std::size_t utf8ToWide(const char* begin, const char* end, wchar_t* out, wchar_t* outEnd) {
    checkInputRange(begin, end);
    checkOutputRange(out, outEnd);
    auto p = reinterpret_cast<const unsigned char*>(begin);
    const auto last = reinterpret_cast<const unsigned char*>(end);
    wchar_t* next = out;
    while (p != last) {
        if (next == outEnd) {
            QX_DSC_THROW(BufferOverflow);
        }
        *next++ = static_cast<wchar_t>(decodeOne(p, last));
    }
    return static_cast<std::size_t>(next - out);
}

std::size_t wideToUtf8Length(const wchar_t* text) {
    std::size_t total = 0;
    for (const wchar_t* p = text; p && *p; ++p) {
        total += encodedLength(static_cast<uint32_t>(*p));
    }
    return total;
}

std::size_t wideToUtf8(const wchar_t* begin, const wchar_t* end, char* out, char* outEnd) {
    checkInputRange(begin, end);
    checkOutputRange(out, outEnd);
    char* next = out;
    for (const wchar_t* p = begin; p != end; ++p) {
        const auto c = static_cast<uint32_t>(*p);
        const std::size_t length = encodedLength(c);
        if (static_cast<std::size_t>(outEnd - next) < length) {
            QX_DSC_THROW(BufferOverflow);
        }
        encodeOne(c, length, next);
        next += length;
    }
    return static_cast<std::size_t>(next - out);
}

std::wstring toWide(std::string_view utf8) {
    // Names, paths and values are nearly always ASCII: widened as they are, undecoded.
    const bool ascii = std::all_of(utf8.begin(), utf8.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii && utf8.size() <= std::numeric_limits<uint32_t>::max())
        return std::wstring(utf8.begin(), utf8.end());
    const char* begin = utf8.data();
    const char* end = begin + utf8.size();
    const std::size_t length = utf8Length(begin, end);
    if (length > std::numeric_limits<uint32_t>::max()) {
        QX_DSC_THROW(OutOfRange);
    }
    std::wstring wide(length, L'\0');
    if (length != 0) {
        utf8ToWide(begin, end, wide.data(), wide.data() + length);
    }
    return wide;
}

bool isValidUtf8(std::string_view text) {
    auto p = reinterpret_cast<const unsigned char*>(text.data());
    const auto end = p + text.size();
    uint32_t ignored = 0;
    while (p != end) {
        if (*p < 0x80) {
            ++p;
            continue;
        }
        if (!tryDecodeOne(p, end, ignored)) return false;
    }
    return true;
}

std::string visibleUtf8(std::string_view text) {
    auto p = reinterpret_cast<const unsigned char*>(text.data());
    const auto end = p + text.size();
    std::string out;
    out.reserve(text.size());
    while (p != end) {
        const unsigned char* start = p;
        uint32_t value = 0;
        if (tryDecodeOne(p, end, value) && value >= 0x20 && value != 0x7F) {
            if (value == '\\') out += '\\';
            out.append(reinterpret_cast<const char*>(start), static_cast<std::size_t>(p - start));
            continue;
        }
        p = start + 1;
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", *start);
        out += escaped;
    }
    return out;
}

std::string toUtf8(std::wstring_view wide) {
    std::size_t length = 0;
    for (wchar_t c : wide) {
        length += encodedLength(static_cast<uint32_t>(c));
    }
    std::string text(length, '\0');
    if (length != 0) {
        wideToUtf8(wide.data(), wide.data() + wide.size(), text.data(), text.data() + length);
    }
    return text;
}

}  // namespace qx::dsc
