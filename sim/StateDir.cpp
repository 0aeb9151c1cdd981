#include "sim/StateDir.h"

#include "sim/SystemError.h"

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qxsim {

StateDir::StateDir(std::string root) : root_(std::move(root)) {}

std::string StateDir::defaultRoot() { return "/tmp/qxsim-" + std::to_string(::getuid()); }

void StateDir::create() {
    const bool isDefault = root_ == defaultRoot();
    if (::mkdir(root_.c_str(), 0700) < 0 && errno != EEXIST) throw SystemError("create " + root_, errno);
    struct stat info {};
    check(::lstat(root_.c_str(), &info), "inspect " + root_);
    if (!S_ISDIR(info.st_mode)) throw std::runtime_error(root_ + " is not a directory");
    // /tmp is shared: a directory planted there by another user must not become our /etc.
    if (isDefault && info.st_uid != ::getuid())
        throw std::runtime_error(root_ + " belongs to another user; use --state DIR");
    root_ = std::filesystem::canonical(root_).string();
    // The overlay options take the paths as a comma- and colon-separated list.
    if (root_.find_first_of(",:\\") != std::string::npos)
        throw std::runtime_error("the state directory path must not contain ',', ':' or '\\': " + root_);
}

}  // namespace qxsim
