// SPDX-License-Identifier: MIT
#pragma once
// GUIDs from their 38-character text form "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".

#include <cstdint>
#include <string_view>

namespace qx::dsc {

struct GUID {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

bool operator==(const GUID& a, const GUID& b);
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

// Parses the braced text form (hex digits of either case); throws BadGuidString
// for any other text.
GUID parseGuid(std::string_view text);
GUID parseGuid(std::wstring_view text);

// As parseGuid, without throwing: false and an all-zero GUID for a malformed text.
bool tryParseGuid(std::string_view text, GUID& guid);
bool tryParseGuid(std::wstring_view text, GUID& guid);

}  // namespace qx::dsc
