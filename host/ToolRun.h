// SPDX-License-Identifier: MIT
#pragma once
// Runs the installed configuration tool for one port exactly as the udev rule does at
// boot, with the standard configuration file.

#include <optional>
#include <string>

namespace qxhost {

class StopRequest;

constexpr char kConfigurationPath[] = "/etc/qxserial/configuration.ini";

struct ToolRun {
    std::optional<int> status;  // exit status; none when it could not start or did not exit
    std::string report;         // what it wrote, or why it has no status
};

// As long as the plug-in waits for the tool: a port that hangs in the driver is reported.
// Throws Stopped when asked to stop while the tool runs; the tool then finishes on its own.
ToolRun runTool(const std::string& portPath, const StopRequest& stop);

}  // namespace qxhost
