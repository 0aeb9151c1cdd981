// SPDX-License-Identifier: MIT
#pragma once
// The text library's exceptions: fixed codes and texts, and the raising source line.

#include <cstdint>
#include <exception>

namespace qx::dsc::exception {

// A std::exception, so that handlers which swallow or translate any std::exception
// (notification delivery, the host boundary) treat these the same way.
class Exception : public std::exception {
public:
    Exception(const char* file = "", int line = 0) : file_(file), line_(line) {}
    virtual ~Exception() = default;
    const char* what() const noexcept override { return "unspecified exception"; }
    virtual uint32_t code() const noexcept { return 0xFFFFFFFFu; }

    const char* file() const { return file_; }
    int line() const { return line_; }

private:
    const char* file_;
    int line_;
};

#define QX_DSC_EXCEPTION(Name, Code, Text)                                      \
    class Name : public Exception {                                             \
    public:                                                                     \
        using Exception::Exception;                                             \
        const char* what() const noexcept override { return Text; }             \
        uint32_t code() const noexcept override { return Code; }                \
    };

QX_DSC_EXCEPTION(OutOfRange, 0x8ABC7007u, "Out of range")
QX_DSC_EXCEPTION(InvalidArgument, 0x8ABC700Fu, "Invalid argument(s)")
QX_DSC_EXCEPTION(BufferOverflow, 0x8ABC7017u, "Buffer overflowed")
QX_DSC_EXCEPTION(InvalidSequence, 0x8ABC7030u, "Invalid UTF8 encoding sequence")
QX_DSC_EXCEPTION(BadGuidString, 0x8ABC7032u, "Badly formatted Guid string.")

#undef QX_DSC_EXCEPTION

}  // namespace qx::dsc::exception
