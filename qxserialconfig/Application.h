// SPDX-License-Identifier: MIT
#pragma once
// What one run did to its port, for the system log: so that an application at boot or on
// hotplug, where nobody reads the tool's standard error, leaves its trace too.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qxserialconfig {

class Application {
public:
    explicit Application(std::string portName) : portName_(std::move(portName)) {}

    void resolved(std::string node, std::string identifier);
    // Before each request: the last value noted is the one that failed, if one did.
    void sending(const char* key, uint32_t value) { values_.emplace_back(key, value); }

    // One line in the system log; never throws, and changes no output of the tool.
    void logApplied() const noexcept;
    void logFailed(const char* reason) const noexcept;

private:
    void log(bool applied, const char* reason) const noexcept;

    std::string portName_;
    std::string node_;
    std::string identifier_;
    std::vector<std::pair<const char*, uint32_t>> values_;
};

}  // namespace qxserialconfig
