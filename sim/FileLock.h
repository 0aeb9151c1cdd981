#pragma once
// An flock held on a file for the lifetime of the object.

#include "sim/UniqueFd.h"

#include <string>

namespace qxsim {

class FileLock {
public:
    enum class Mode { Shared, Exclusive };

    // Creates the file if needed and waits for the lock.
    FileLock(const std::string& path, Mode mode);

    // Takes the lock only if nobody holds it; check held().
    static FileLock tryExclusive(const std::string& path);

    bool held() const { return bool(fd_); }

private:
    FileLock() = default;
    static UniqueFd open(const std::string& path);
    UniqueFd fd_;
};

}  // namespace qxsim
