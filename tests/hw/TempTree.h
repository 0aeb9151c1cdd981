#pragma once
// A scratch directory tree for tests that need no system paths.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace hwtest {

class TempTree {
public:
    TempTree() {
        char pattern[] = "/tmp/qxhwXXXXXX";
        root_ = ::mkdtemp(pattern) ? pattern : "";
    }
    ~TempTree() {
        std::error_code ignored;
        if (!root_.empty()) std::filesystem::remove_all(root_, ignored);
    }
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return root_; }
    std::string path(const std::string& relative) const { return root_ + "/" + relative; }
    std::string mkdir(const std::string& relative) const {
        std::filesystem::create_directories(path(relative));
        return path(relative);
    }
    std::string write(const std::string& relative, const std::string& bytes) const {
        std::filesystem::create_directories(std::filesystem::path(path(relative)).parent_path());
        std::ofstream(path(relative), std::ios::binary) << bytes;
        return path(relative);
    }

private:
    std::string root_;
};

}  // namespace hwtest
