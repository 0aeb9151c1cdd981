// SPDX-License-Identifier: MIT
#pragma once
// A scratch directory for one test, removed with everything in it when the object goes.
//
//   qxtest::TempDir dir;                                 // $TMPDIR or /tmp
//   dir.write("busProperties/pciDeviceID", bytes);       // folders are made as needed
//   dir.file("configuration.ini");                       // a path inside, not created

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>

namespace qxtest {

class TempDir {
public:
    explicit TempDir(const std::string& base = defaultBase()) {
        std::string pattern = base + "/qxtest.XXXXXX";
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp in " + base + ": " + std::strerror(errno));
        path_ = pattern;
    }
    TempDir(TempDir&& other) noexcept : path_(std::exchange(other.path_, {})) {}
    TempDir& operator=(TempDir&&) = delete;
    TempDir(const TempDir&) = delete;
    ~TempDir() {
        if (!path_.empty()) remove(path_);
    }

    const std::string& path() const { return path_; }
    std::string file(const std::string& relative) const { return path_ + "/" + relative; }
    std::string mkdir(const std::string& relative) const {
        std::filesystem::create_directories(file(relative));
        return file(relative);
    }
    // Writes the bytes exactly; returns the file's path.
    std::string write(const std::string& relative, const std::string& bytes) const {
        const std::string target = file(relative);
        std::filesystem::create_directories(std::filesystem::path(target).parent_path());
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        if (!(out << bytes).flush()) throw std::runtime_error("cannot write " + target);
        return target;
    }

    static std::string defaultBase() {
        const char* base = std::getenv("TMPDIR");
        return base && *base ? base : "/tmp";
    }
    // A memory-backed base where there is one: a killed process loses nothing that has
    // reached the page cache, so syncing to disk would only slow such tests down.
    static std::string memoryBackedBase() {
        std::error_code error;
        if (std::filesystem::is_directory("/dev/shm", error) && ::access("/dev/shm", W_OK) == 0)
            return "/dev/shm";
        return defaultBase();
    }

private:
    // Tests and overlayfs leave directories without permissions; open them up so they can go.
    static void remove(const std::string& dir) {
        namespace fs = std::filesystem;
        std::error_code ignored;
        fs::permissions(dir, fs::perms::owner_all, fs::perm_options::add, ignored);
        for (fs::recursive_directory_iterator it(dir, ignored), end; it != end; it.increment(ignored)) {
            if (it->is_directory(ignored) && !it->is_symlink(ignored))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        }
        fs::remove_all(dir, ignored);
    }

    std::string path_;
};

}  // namespace qxtest
