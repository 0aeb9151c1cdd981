#include "shared/qx561x/cPortEnumerator.h"

#include <boost/filesystem.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <utility>

namespace qx561x {
namespace {

constexpr const char kPortPrefix[] = "ttyQX561xPort";

// 0 when the name does not start with the prefix followed by digits.
std::size_t portIndex(const std::string& name) {
    constexpr std::size_t kPrefixLength = sizeof kPortPrefix - 1;
    std::size_t index = 0;
    if (name.compare(0, kPrefixLength, kPortPrefix) != 0) return 0;
    if (std::sscanf(name.c_str() + kPrefixLength, "%zu", &index) != 1) return 0;
    return index;
}

}  // namespace

std::vector<std::string> cPortEnumerator::enumeratePorts(const std::string& devicePath) {
    try {
        std::vector<std::pair<std::size_t, std::string>> ports;
        boost::filesystem::recursive_directory_iterator entry(devicePath);
        for (const boost::filesystem::recursive_directory_iterator end; entry != end; ++entry) {
            const std::string name = entry->path().filename().string();
            if (name.find(kPortPrefix) != std::string::npos)
                ports.emplace_back(portIndex(name), entry->path().string());
        }
        std::sort(ports.begin(), ports.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<std::string> result;
        result.reserve(ports.size());
        for (auto& port : ports) result.push_back(std::move(port.second));
        return result;
    } catch (const std::exception&) {
        return {};
    }
}

}  // namespace qx561x
