// SPDX-License-Identifier: MIT
#pragma once
// qxhost's commands. Each builds its model, prints it through the Output and returns the
// exit status; failures are thrown as HostError, a stop as Stopped.

#include "host/CommandLine.h"
#include "host/Output.h"
#include "host/PluginSession.h"
#include "host/StopRequest.h"

namespace qxhost {

struct CommandContext {
    const Options& options;
    Output& output;
    const StopRequest& stop;
};

int runList(PluginSession& session, const CommandContext& context);
int runShow(PluginSession& session, const CommandContext& context);
int runSet(PluginSession& session, const CommandContext& context);
int runApply(PluginSession& session, const CommandContext& context);
// Ends on the count, the timeout or the stop request, whichever comes first.
int runWatch(PluginSession& session, const CommandContext& context);
int runCheck(const CommandContext& context);

}  // namespace qxhost
