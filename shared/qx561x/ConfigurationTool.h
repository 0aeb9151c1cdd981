// SPDX-License-Identifier: MIT
#pragma once
// The tool that applies one port's stored settings, started as the udev rule starts it:
// by the plug-in after a change and by qxhost apply.

#include <chrono>
#include <string>
#include <vector>

namespace qx561x {

constexpr char kConfigurationToolPath[] = "/usr/lib/x86_64-linux-gnu/qx561x/qxserialconfig";
// The tool is done in milliseconds. One that is not done by then has hung (a port that
// never answers, a tool replaced by something else) and would hold its caller for ever.
constexpr std::chrono::milliseconds kConfigurationToolTimeLimit{30000};

// An argument list for a shell-less start: the port name is one argument, whatever it holds.
inline std::vector<std::string> configurationToolArguments(const std::string& toolPath,
                                                           const std::string& portName,
                                                           const std::string& configurationPath) {
    return {toolPath, "--port", portName, "--config-file", configurationPath};
}

}  // namespace qx561x
