// SPDX-License-Identifier: MIT
#include "shared/qx561x/cPortEnumerator.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <utility>

#include "shared/qx561x/DeviceTreeWalk.h"

namespace qx561x {
namespace {

constexpr const char kPortPrefix[] = "ttyQX561xPort";

// 0 when the name does not start with the prefix followed by digits.
std::size_t portIndex(const char* name) {
    constexpr std::size_t kPrefixLength = sizeof kPortPrefix - 1;
    std::size_t index = 0;
    if (std::strncmp(name, kPortPrefix, kPrefixLength) != 0) return 0;
    if (std::sscanf(name + kPrefixLength, "%zu", &index) != 1) return 0;
    return index;
}

}  // namespace

std::vector<std::string> cPortEnumerator::enumeratePorts(const std::string& devicePath) {
    try {
        std::vector<std::pair<std::size_t, std::string>> ports;
        walkDeviceTree(devicePath, [&ports](const std::string& path, std::size_t nameOffset) {
            const char* name = path.c_str() + nameOffset;
            if (std::strstr(name, kPortPrefix)) ports.emplace_back(portIndex(name), path);
        });
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
