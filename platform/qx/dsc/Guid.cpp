// SPDX-License-Identifier: MIT
#include "platform/qx/dsc/Guid.h"

#include <cstring>

#include "platform/qx/dsc/Exception.h"

namespace qx::dsc {
namespace {

constexpr const char* kModule = "qx/dsc/Guid";
constexpr std::size_t kTextLength = 38;

int hexValue(uint32_t c) {
    if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
    if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
    return -1;
}

template <typename Char>
class Reader {
public:
    explicit Reader(std::basic_string_view<Char> text) : text_(text) {}

    bool expect(char c) { return static_cast<uint32_t>(text_[pos_++]) == static_cast<uint32_t>(c); }

    bool hex(std::size_t digits, uint32_t& value) {
        value = 0;
        for (std::size_t i = 0; i < digits; ++i) {
            const int digit = hexValue(static_cast<uint32_t>(text_[pos_++]));
            if (digit < 0) return false;
            value = (value << 4) | static_cast<uint32_t>(digit);
        }
        return true;
    }

private:
    std::basic_string_view<Char> text_;
    std::size_t pos_ = 0;
};

template <typename Char>
bool parse(std::basic_string_view<Char> text, GUID& guid) {
    guid = GUID{};
    if (text.size() != kTextLength) return false;
    Reader<Char> in(text);
    uint32_t data1 = 0, data2 = 0, data3 = 0, pair = 0;
    GUID result{};
    if (!in.expect('{') || !in.hex(8, data1) || !in.expect('-') || !in.hex(4, data2) ||
        !in.expect('-') || !in.hex(4, data3) || !in.expect('-')) {
        return false;
    }
    for (std::size_t i = 0; i < 8; ++i) {
        if (i == 2 && !in.expect('-')) return false;
        if (!in.hex(2, pair)) return false;
        result.Data4[i] = static_cast<uint8_t>(pair);
    }
    if (!in.expect('}')) return false;
    result.Data1 = data1;
    result.Data2 = static_cast<uint16_t>(data2);
    result.Data3 = static_cast<uint16_t>(data3);
    guid = result;
    return true;
}

template <typename Char>
GUID parseOrThrow(std::basic_string_view<Char> text) {
    GUID guid;
    if (!parse(text, guid)) {
        throw exception::BadGuidString(kModule, __LINE__);
    }
    return guid;
}

}  // namespace

bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

GUID parseGuid(std::string_view text) { return parseOrThrow(text); }
GUID parseGuid(std::wstring_view text) { return parseOrThrow(text); }
bool tryParseGuid(std::string_view text, GUID& guid) { return parse(text, guid); }
bool tryParseGuid(std::wstring_view text, GUID& guid) { return parse(text, guid); }

}  // namespace qx::dsc
