// SPDX-License-Identifier: MIT
#include "qxserialconfig/Arguments.h"

namespace qxserialconfig {

// Options are matched whole and case-sensitively; the next argument is always the value.
const char* parseArguments(int argc, const char* const* argv, Arguments& args) {
    for (int i = 1; i < argc;) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--port" && hasValue) {
            args.portName = argv[i + 1];
        } else if (option == "--config-file" && hasValue) {
            args.configPath = argv[i + 1];
        } else {
            return "Incorrect argument.";
        }
        i += 2;
    }
    if (args.portName.empty() || args.configPath.empty()) {
        return "Insufficient arguments.";
    }
    return nullptr;
}

}  // namespace qxserialconfig
