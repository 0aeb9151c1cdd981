// SPDX-License-Identifier: MIT
#pragma once
// Minimal trace: one process-wide tTrace bound to a console destination (standard error).

#include <cstddef>
#include <cstdint>

namespace qxapal {

class iTraceDestination {
public:
    virtual ~iTraceDestination() = default;
    virtual void print(const char* text) = 0;
    // Writes exactly `length` bytes of data (stopping early at a NUL).
    virtual void write(const char* data, std::size_t length) = 0;
    virtual void flush() = 0;
    // Writes the destination's description into buffer (cut to size, NUL-terminated);
    // returns, and stores in outLength when given, the full text's length.
    virtual std::size_t describe(char* buffer, std::size_t size, std::size_t* outLength) = 0;
    virtual bool isEnabled() = 0;
    virtual void reserved() = 0;
    virtual const char* name() = 0;
};

class tConsoleTraceDestination : public iTraceDestination {
public:
    void print(const char* text) override;
    void write(const char* data, std::size_t length) override;
    void flush() override {}
    std::size_t describe(char* buffer, std::size_t size, std::size_t* outLength) override;
    bool isEnabled() override { return true; }
    void reserved() override {}
    const char* name() override { return "qxsdbg_printf"; }
};

class tTrace {
public:
    explicit tTrace(iTraceDestination& destination) : destination_(&destination) {}

    // The process's trace, bound to the console.
    static tTrace& instance();

    iTraceDestination& destination() { return *destination_; }
    void print(const char* text) { destination_->print(text); }
    void write(const char* data, std::size_t length) { destination_->write(data, length); }

    // Settings kept for the trace's own use; they change no output.
    uint32_t flags() const { return flags_; }
    uint32_t count() const { return count_; }

private:
    iTraceDestination* destination_;
    uint32_t flags_ = 0;
    uint32_t count_ = 50;
};

// Unsigned value as text in base 2..36 into buffer (NUL-terminated, cut to size):
// base 16 gets "0x", bases other than 10 and 16 get "<base>#"; digits above 9 are
// capitals. Returns the full text's length.
std::size_t numberToText(uint64_t value, unsigned base, char* buffer, std::size_t size);

}  // namespace qxapal

// Formats into 512 bytes (longer output is cut to 511 characters) and writes the
// result to standard error.
extern "C" int qxsdbg_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
