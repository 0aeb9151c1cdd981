// SPDX-License-Identifier: MIT
#pragma once
// qxhost from command line to exit status. The command runs on a thread of its own while
// the first thread waits for SIGINT, SIGTERM and SIGHUP: on one, nothing more is printed,
// the command is asked to stop so that the plug-in is shut down in order, and qxhost ends
// within a second with 128 + the signal's number even when a plug-in call does not return
// (the plug-in saves atomically, so leaving in the middle of a call loses nothing).

#include <string>
#include <vector>

namespace qxhost {

int runQxhost(const std::vector<std::string>& arguments);

}  // namespace qxhost
