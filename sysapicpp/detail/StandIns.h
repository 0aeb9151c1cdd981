#pragma once
// TEMPORARY: minimal local versions of the platform's locks, with the platform's
// names, until those land. Remove then.

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

}  // namespace sysapicpp::standin
