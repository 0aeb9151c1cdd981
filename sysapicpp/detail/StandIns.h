#pragma once
// TEMPORARY: minimal local versions of the platform's locks and text/time helpers,
// with the platform's names and signatures, until those land. Remove then.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <mutex>
#include <new>
#include <string>
#include <string_view>

namespace sysapicpp::standin {

class CqxCS {
public:
    bool lock(int32_t /*timeout*/ = -1) { mutex_.lock(); return true; }
    void unlock() { mutex_.unlock(); }
private:
    std::recursive_mutex mutex_;
};

class CQXMutex {
public:
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
private:
    std::mutex mutex_;
};

namespace dsc {

inline wchar_t* allocHostString(const wchar_t* text, std::size_t length) {
    if (length >= 0x3FFFFFFF) return nullptr;
    auto* block = static_cast<uint32_t*>(std::malloc(4 + (length + 1) * sizeof(wchar_t)));
    if (!block) throw std::bad_alloc();
    block[0] = static_cast<uint32_t>(length);
    auto* chars = reinterpret_cast<wchar_t*>(block + 1);
    if (text) std::wmemcpy(chars, text, length); else std::wmemset(chars, 0, length);
    chars[length] = 0;
    return chars;
}
inline wchar_t* allocHostString(const wchar_t* text) {
    return text ? allocHostString(text, std::wcslen(text)) : nullptr;
}
inline void freeHostString(wchar_t* p) {
    if (p) std::free(reinterpret_cast<uint32_t*>(p) - 1);
}
inline uint32_t hostStringLength(const wchar_t* p) {
    return p ? reinterpret_cast<const uint32_t*>(p)[-1] : 0;
}
// ASCII-only stand-ins.
inline std::wstring toWide(std::string_view utf8) { return std::wstring(utf8.begin(), utf8.end()); }
inline std::string toUtf8(std::wstring_view wide) {
    std::string out;
    for (wchar_t c : wide) out.push_back(static_cast<char>(c));
    return out;
}

struct AbsTime {
    uint64_t fraction;
    int64_t seconds;
};
constexpr int64_t kUnixEpochOffset = 2082844800;
struct OutOfRange : std::exception {};
inline AbsTime localDateTimeToAbsTime(const std::tm& fields) {
    std::tm copy = fields;
    time_t t = std::mktime(&copy);
    if (t <= 0) throw OutOfRange();
    return AbsTime{0, static_cast<int64_t>(t) + kUnixEpochOffset};
}
inline std::tm absTimeToLocalDateTime(const AbsTime& time, bool round) {
    int64_t s = time.seconds - kUnixEpochOffset;
    if (round && (time.fraction > (uint64_t(1) << 63) ||
                  (time.fraction == (uint64_t(1) << 63) && (s & 1)))) ++s;
    time_t t = static_cast<time_t>(s);
    std::tm out{};
    if (!localtime_r(&t, &out)) throw OutOfRange();
    return out;
}

}  // namespace dsc
}  // namespace sysapicpp::standin
