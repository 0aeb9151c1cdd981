// SPDX-License-Identifier: MIT
#include "sim/StateDir.h"

#include "sim/SystemError.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace qxsim {

namespace {

constexpr char kMarkText[] = "qxsim state directory: qxsim may remove anything in it\n";

}  // namespace

StateDir::StateDir(std::string root) : root_(std::move(root)) {}

std::string StateDir::defaultRoot() { return "/tmp/qxsim-" + std::to_string(::getuid()); }

void StateDir::create() {
    const bool isDefault = root_ == defaultRoot();
    const bool made = ::mkdir(root_.c_str(), 0700) == 0;
    if (!made && errno != EEXIST) throw SystemError("create " + root_, errno);
    struct stat info {};
    check(::lstat(root_.c_str(), &info), "inspect " + root_);
    if (!S_ISDIR(info.st_mode)) throw StateDirError("state directory " + root_ + " is not a directory");
    // /tmp is shared: a directory planted there by another user must not become our /etc.
    if (isDefault && info.st_uid != ::getuid())
        throw StateDirError(root_ + " belongs to another user; use --state DIR");
    root_ = std::filesystem::canonical(root_).string();
    // The overlay options take the paths as a comma- and colon-separated list.
    if (root_.find_first_of(",:\\") != std::string::npos)
        throw std::runtime_error("the state directory path must not contain ',', ':' or '\\': " + root_);
    if (made || (!isMarked() && std::filesystem::is_empty(root_))) {
        mark();
    } else if (!isMarked()) {
        throw StateDirError("state directory " + root_ +
                            " is not empty and was not made by qxsim; give a new or empty directory");
    }
}

void StateDir::open() {
    std::error_code error;
    const auto absolute = std::filesystem::canonical(root_, error);
    if (error) throw std::runtime_error("no simulation state in " + root_);
    const std::string given = root_;
    root_ = absolute.string();
    if (!isMarked()) throw std::runtime_error("no simulation state in " + given);
}

bool StateDir::isMarked() const {
    struct stat info {};
    return ::lstat(markFile().c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void StateDir::mark() const {
    const std::string temporary = markFile() + ".new";
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!(out << kMarkText).flush()) throw std::runtime_error("cannot write " + temporary);
    }
    check(std::rename(temporary.c_str(), markFile().c_str()), "mark " + root_);
}

}  // namespace qxsim
