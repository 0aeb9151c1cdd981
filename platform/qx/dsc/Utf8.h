// SPDX-License-Identifier: MIT
#pragma once
// UTF-8 <-> wide text (wchar_t is 32 bits: one code point per unit).
// Failures throw the qx::dsc::exception classes.

#include <cstddef>
#include <string>
#include <string_view>

namespace qx::dsc {

// Number of code points in [begin, end). Throws InvalidSequence for a malformed
// sequence or one that runs past end.
std::size_t utf8Length(const char* begin, const char* end);

// Decodes all of [begin, end) into [out, outEnd); returns the wide characters written.
// Throws InvalidArgument for a null or reversed range, InvalidSequence for malformed
// input, BufferOverflow when the output fills before the input is consumed.
std::size_t utf8ToWide(const char* begin, const char* end, wchar_t* out, wchar_t* outEnd);

// UTF-8 bytes needed for a NUL-terminated wide text (0 for null); no terminator counted.
std::size_t wideToUtf8Length(const wchar_t* text);

// Encodes [begin, end) into [out, outEnd); returns the bytes written (no terminator).
// A value with the top bit set becomes "?". Throws InvalidArgument for a null or
// reversed range, BufferOverflow when the next character does not fit (the bytes
// of the characters before it have been written).
std::size_t wideToUtf8(const wchar_t* begin, const wchar_t* end, char* out, char* outEnd);

// Whole-string forms of the above. toWide also throws OutOfRange when the text has
// more code points than a 32-bit count can hold.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);

// Whether toWide accepts the text.
bool isValidUtf8(std::string_view text);
// The text for a message that must show what it holds: every byte that is not part of a
// valid sequence, and every control character, as \xHH; a backslash doubled.
std::string visibleUtf8(std::string_view text);

}  // namespace qx::dsc
