// SPDX-License-Identifier: MIT
#include "platform/qxapal/trace/tTrace.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

extern "C" int qxsdbg_printf(const char* format, ...) {
    char buffer[512];
    va_list arguments;
    va_start(arguments, format);
    const int result = std::vsnprintf(buffer, sizeof buffer, format, arguments);
    va_end(arguments);
    buffer[sizeof buffer - 1] = '\0';
    if (result < 0) return result;
    std::fputs(buffer, stderr);
    return result;
}

namespace qxapal {
namespace {

constexpr char kDescription[] = " --destination apal";
// Output is cut at 511 characters anyway; keeps the precision inside an int.
constexpr std::size_t kMaxPrecision = 511;

tConsoleTraceDestination consoleDestination;
tTrace processTrace(consoleDestination);

}  // namespace

tTrace& tTrace::instance() { return processTrace; }

void tConsoleTraceDestination::print(const char* text) { qxsdbg_printf("%s", text ? text : ""); }

void tConsoleTraceDestination::write(const char* data, std::size_t length) {
    if (data == nullptr) return;
    if (length > kMaxPrecision) length = kMaxPrecision;
    char format[32] = "%.";
    const std::size_t used = std::strlen(format);
    numberToText(length, 10, format + used, sizeof format - used - 1);
    std::strcat(format, "s");
    qxsdbg_printf(format, data);
}

std::size_t tConsoleTraceDestination::describe(char* buffer, std::size_t size,
                                               std::size_t* outLength) {
    const std::size_t length = sizeof kDescription - 1;
    if (buffer != nullptr && size != 0) {
        const std::size_t copied = length < size - 1 ? length : size - 1;
        std::memcpy(buffer, kDescription, copied);
        buffer[copied] = '\0';
    }
    if (outLength != nullptr) *outLength = length;
    return length;
}

std::size_t numberToText(uint64_t value, unsigned base, char* buffer, std::size_t size) {
    if (base < 2 || base > 36) return 0;
    char text[80];
    std::size_t length = 0;
    if (base == 16) {
        text[length++] = '0';
        text[length++] = 'x';
    } else if (base != 10) {
        length += static_cast<std::size_t>(std::snprintf(text, sizeof text, "%u#", base));
    }
    char digits[65];
    std::size_t count = 0;
    do {
        const unsigned digit = static_cast<unsigned>(value % base);
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'A' + digit - 10);
        value /= base;
    } while (value != 0);
    while (count != 0) text[length++] = digits[--count];
    text[length] = '\0';
    if (buffer != nullptr && size != 0) {
        const std::size_t copied = length < size - 1 ? length : size - 1;
        std::memcpy(buffer, text, copied);
        buffer[copied] = '\0';
    }
    return length;
}

}  // namespace qxapal
