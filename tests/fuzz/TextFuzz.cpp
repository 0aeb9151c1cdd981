// SPDX-License-Identifier: MIT
// Text at the host boundary. The first byte picks the part:
//  0  UTF-8 in: valid text (in this system's extended form, up to 31 bits) converts to wide
//     and back unchanged, so no decoder accepts two spellings; invalid text is refused the
//     same way by every entry; host strings made from it have the stated layout.
//  1  wide in: every value below 2^31 comes back from its UTF-8 (higher ones become '?'),
//     so no encoding is refused by the decoder; host strings keep every character.
//  2  GUID text: parsed exactly when it has the braced 8-4-4-4-12 form, to the GUID whose
//     printed form is the text; a non-ASCII wide character is never a digit or separator.
//  3  absolute time: local fields and back give the same second, with the stated rounding;
//     local fields of any kind normalise to a time that converts back to itself.

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <strings.h>

#include "platform/qx/dsc/AbsTime.h"
#include "platform/qx/dsc/Exception.h"
#include "platform/qx/dsc/Guid.h"
#include "platform/qx/dsc/HostString.h"
#include "platform/qx/dsc/Utf8.h"
#include "tests/fuzz/Fuzz.h"

namespace {

using namespace qx::dsc;
using qxfuzz::Input;
namespace ex = qx::dsc::exception;

template <class Exception, class Call>
bool throws(Call call) {
    try {
        call();
    } catch (const Exception&) {
        return true;
    }
    return false;
}

void checkHostString(const std::wstring& text) {
    HostStringHolder copy(allocHostString(text.data(), text.size()));
    FUZZ_CHECK(copy && hostStringLength(copy.get()) == text.size());
    FUZZ_CHECK(copy.view() == text && copy.get()[text.size()] == L'\0');
    HostStringHolder upToNul(allocHostString(text.c_str()));
    FUZZ_CHECK(upToNul && upToNul.view() == std::wstring_view(text.c_str()));
}

void utf8In(const std::string& text) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    std::size_t length = 0;
    if (throws<ex::InvalidSequence>([&] { length = utf8Length(begin, end); })) {
        FUZZ_CHECK(throws<ex::InvalidSequence>([&] { toWide(text); }));
        std::wstring room(text.size(), L'\0');
        FUZZ_CHECK(throws<ex::InvalidSequence>(
            [&] { utf8ToWide(begin, end, room.data(), room.data() + room.size()); }));
        FUZZ_CHECK(throws<ex::InvalidSequence>([&] { allocHostStringFromUtf8(text); }));
        return;
    }
    const std::wstring wide = toWide(text);
    FUZZ_CHECK(wide.size() == length);
    for (wchar_t c : wide) FUZZ_CHECK(uint32_t(c) < 0x80000000u);
    FUZZ_CHECK(toUtf8(wide) == text);
    if (length > 0) {
        std::wstring small(length - 1, L'\0');
        FUZZ_CHECK(throws<ex::BufferOverflow>(
            [&] { utf8ToWide(begin, end, small.data(), small.data() + small.size()); }));
    }
    HostStringHolder host(allocHostStringFromUtf8(text));
    FUZZ_CHECK(host.view() == wide);
}

void wideIn(Input& in) {
    std::wstring wide;
    while (in.left() >= 4) wide += wchar_t(in.value<uint32_t>());
    std::wstring expected = wide;
    for (wchar_t& c : expected)
        if (uint32_t(c) >= 0x80000000u) c = L'?';
    const std::string utf8 = toUtf8(wide);
    FUZZ_CHECK(toWide(utf8) == expected);
    FUZZ_CHECK(wideToUtf8Length(wide.c_str()) == toUtf8(wide.c_str()).size());
    if (!utf8.empty()) {
        std::string small(utf8.size() - 1, '\0');
        FUZZ_CHECK(throws<ex::BufferOverflow>([&] {
            wideToUtf8(wide.data(), wide.data() + wide.size(), small.data(),
                       small.data() + small.size());
        }));
    }
    checkHostString(wide);
}

bool hasGuidForm(const std::string& text) {
    if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
    for (std::size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i])))
            return false;
    }
    return true;
}

void guidIn(Input& in) {
    const std::size_t foreign = in.byte();
    const std::string text = in.rest();
    GUID guid{};
    const bool parsed = tryParseGuid(text, guid);
    FUZZ_CHECK(parsed == hasGuidForm(text));
    FUZZ_CHECK(throws<ex::BadGuidString>([&] { parseGuid(text); }) == !parsed);
    if (parsed) {
        char printed[39];
        std::snprintf(printed, sizeof printed, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                      guid.Data1, guid.Data2, guid.Data3, guid.Data4[0], guid.Data4[1],
                      guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5], guid.Data4[6],
                      guid.Data4[7]);
        FUZZ_CHECK(strcasecmp(printed, text.c_str()) == 0);
    } else {
        FUZZ_CHECK(guid == GUID{});
    }
    // The same text in wide characters, one of them perhaps moved out of ASCII.
    std::wstring wide(text.begin(), text.end());
    for (wchar_t& c : wide) c = wchar_t(static_cast<unsigned char>(c));
    const bool moved = foreign < wide.size();
    if (moved) wide[foreign] += 0x100;
    GUID wideGuid{};
    FUZZ_CHECK(tryParseGuid(wide, wideGuid) == (parsed && !moved));
    FUZZ_CHECK(wideGuid == (moved ? GUID{} : guid));
}

void timeIn(Input& in) {
    const AbsTime time{in.value<uint64_t>(), in.value<int64_t>()};
    const bool round = in.flag();
    constexpr uint64_t kHalf = uint64_t{1} << 63;
    int64_t expected = time.seconds;
    const bool up = time.fraction > kHalf || (time.fraction == kHalf && (time.seconds & 1));
    if (round && up && expected < INT64_MAX) ++expected;
    std::tm local{};
    if (!throws<ex::OutOfRange>([&] { local = absTimeToLocalDateTime(time, round); })) {
        AbsTime back{};
        const bool refused = throws<ex::OutOfRange>([&] { back = localDateTimeToAbsTime(local); });
        FUZZ_CHECK(refused == (expected <= kUnixEpochOffset));
        FUZZ_CHECK(refused || (back.seconds == expected && back.fraction == 0));
    }

    std::tm fields{};
    fields.tm_year = in.value<int32_t>();
    fields.tm_mon = in.value<int32_t>();
    fields.tm_mday = in.value<int32_t>();
    fields.tm_hour = in.value<int32_t>();
    fields.tm_min = in.value<int32_t>();
    fields.tm_sec = in.value<int32_t>();
    fields.tm_isdst = int8_t(in.byte());
    AbsTime made{};
    if (throws<ex::OutOfRange>([&] { made = localDateTimeToAbsTime(fields); })) return;
    FUZZ_CHECK(made.fraction == 0 && made.seconds > kUnixEpochOffset);
    const std::tm normal = absTimeToLocalDateTime(made, false);
    FUZZ_CHECK(normal.tm_mon >= 0 && normal.tm_mon < 12 && normal.tm_mday >= 1 &&
               normal.tm_mday <= 31 && normal.tm_hour >= 0 && normal.tm_hour < 24 &&
               normal.tm_min >= 0 && normal.tm_min < 60 && normal.tm_sec >= 0 &&
               normal.tm_sec <= 60);
    FUZZ_CHECK(localDateTimeToAbsTime(normal).seconds == made.seconds);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    qxfuzz::useFixedTimeZone();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    Input in(data, size);
    switch (in.byte() % 4) {
    case 0: utf8In(in.rest()); break;
    case 1: wideIn(in); break;
    case 2: guidIn(in); break;
    default: timeIn(in); break;
    }
    return 0;
}
