// SPDX-License-Identifier: MIT
#pragma once
// qxhost's commands. Each prints to standard output and returns the exit status; plug-in
// failures are thrown as HostError, command-line faults as UsageError.

#include <cstdint>
#include <string>
#include <vector>

#include "host/PluginSession.h"

namespace qxhost {

struct Options {
    std::string plugin = kDefaultPlugin;
    std::string command;
    std::vector<std::string> arguments;
    bool json = false;
    bool dryRun = false;
    int64_t count = -1;     // watch: stop after this many lines; -1: no limit
    double timeout = -1.0;  // watch: stop after this many seconds; -1: no limit
};

int runList(PluginSession& session, const Options& options);
int runShow(PluginSession& session, const Options& options);
int runSet(PluginSession& session, const Options& options);
// Ends on the count, the timeout, or one of the signals in `stopSignals` (blocked by the
// caller), whichever comes first.
int runWatch(PluginSession& session, const Options& options, const sigset_t& stopSignals);

// Writes and flushes; false when standard output is gone.
bool emit(const std::string& text);

}  // namespace qxhost
