// SPDX-License-Identifier: MIT
#pragma once
// The configuration files as the configuration store reads them, compared with the ports
// present, without the plug-in: for `check`, and for saying why ports are missing.

#include <optional>
#include <string>
#include <vector>

#include "host/Model.h"

namespace qxhost {

// A port as the hardware model finds it now.
struct PresentPort {
    std::string identifier;  // its configuration section
    bool rs232 = false;
    Limits rx;
    Limits tx;
};

std::vector<PresentPort> presentPorts();

// Why the store cannot read the file (kind "file" or "parse"); nothing when it can. A
// missing file reads as empty.
std::optional<Problem> fileProblem(const std::string& path);

// Both configuration files against the given ports.
CheckModel checkConfiguration(const std::string& mainPath, const std::string& defaultsPath,
                              const std::vector<PresentPort>& ports);

// For each configuration file the store cannot read: without it, the plug-in lists no ports.
std::vector<Warning> configurationWarnings();

}  // namespace qxhost
