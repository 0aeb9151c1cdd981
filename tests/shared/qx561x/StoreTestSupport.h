// SPDX-License-Identifier: MIT
#pragma once
// Small file helpers for the store's tests.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/OpenDescriptors.h"
#include "tests/support/TempDir.h"

namespace storetest {

using qxtest::TempDir;

inline void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Names in dir that look like a save's replacement file.
inline std::vector<std::string> temporaryFiles(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name.find(".tmp-") != std::string::npos) {
            found.push_back(name);
        }
    }
    return found;
}

using qxtest::openDescriptors;

}  // namespace storetest
