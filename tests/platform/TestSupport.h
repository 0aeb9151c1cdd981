#pragma once
// Temporary folders and descriptor snapshots for the platform tests.

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <stdexcept>
#include <string>

#include <filesystem>

#include "tests/support/OpenDescriptors.h"

namespace qxtest {

class TempDir {
public:
    TempDir() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/qxplatform.XXXXXX";
        if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(file(name)) << text;
        return file(name);
    }

private:
    std::string path_;
};

// Descriptors open now that were not open in the snapshot.
inline std::set<std::string> descriptorsOpenedSince(const std::set<std::string>& before) {
    std::set<std::string> added;
    for (const std::string& fd : openDescriptors()) {
        if (!before.count(fd)) added.insert(fd);
    }
    return added;
}

}  // namespace qxtest
