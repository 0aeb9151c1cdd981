// SPDX-License-Identifier: MIT
#pragma once
// What every fuzz target uses: a property check that stops the run, and a reader that
// takes typed values from the input bytes (zeros once the input is used up).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#define FUZZ_CHECK(condition) ((condition) ? void(0) : qxfuzz::fail(#condition, __FILE__, __LINE__))

namespace qxfuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, what);
    std::abort();
}

// A zone with summer time, so that the hour that repeats in autumn is exercised; fixed so
// that no machine's settings change the outcome.
inline void useFixedTimeZone() {
    ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
    ::tzset();
}

class Input {
public:
    Input(const uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }
    std::size_t left() const { return size_ - position_; }

    uint8_t byte() { return empty() ? 0 : data_[position_++]; }
    bool flag() { return byte() & 1; }
    template <class T>
    T value() {
        T result{};
        const std::size_t n = left() < sizeof result ? left() : sizeof result;
        std::memcpy(&result, data_ + position_, n);
        position_ += n;
        return result;
    }
    // A byte of length, then that many bytes (fewer at the end of the input).
    std::string text() { return bytes(byte()); }
    std::string bytes(std::size_t count) {
        const std::size_t n = count < left() ? count : left();
        std::string result(reinterpret_cast<const char*>(data_ + position_), n);
        position_ += n;
        return result;
    }
    std::string rest() { return bytes(left()); }

private:
    const uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

}  // namespace qxfuzz
