// SPDX-License-Identifier: MIT
#pragma once
// The tool's command line: "--port port-name --config-file config-file-path".

#include <string>

namespace qxserialconfig {

struct Arguments {
    std::string portName;
    std::string configPath;
};

// Null when args now holds both values; otherwise the message of the usage error
// ("Incorrect argument." or "Insufficient arguments.").
const char* parseArguments(int argc, const char* const* argv, Arguments& args);

}  // namespace qxserialconfig
