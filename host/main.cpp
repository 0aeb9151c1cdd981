// SPDX-License-Identifier: MIT
// qxhost: loads the serial plug-in as a host framework does and gives people and programs
// its boards and ports on the command line.

#include <string>
#include <vector>

#include "host/Runner.h"
#include "platform/qxerr/Status.h"

const char qxerr::kComponent[] = "qxhost";

int main(int argc, char** argv) { return qxhost::runQxhost(std::vector<std::string>(argv + 1, argv + argc)); }
