// SPDX-License-Identifier: MIT
#pragma once
// qxhost's commands. Each builds its model, prints it through the Output and returns the
// exit status; failures are thrown as HostError, a stop as Stopped.

#include <string>
#include <vector>

#include "host/CommandLine.h"
#include "host/HostError.h"
#include "host/Model.h"
#include "host/Output.h"
#include "host/PluginSession.h"
#include "host/StopRequest.h"
#include "sysapicpp/propbag/PropertyBagHandle.h"

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

// The steps of a set, for one port or many. Failures are HostErrors that name `typed`.
// Refused on an RS-232 port (mode), then validated by the plug-in; nothing is stored.
void validatePortSettings(IcxSysExpert2& expert, const std::string& name, const std::string& typed,
                          const sysapicpp::PropertyBagHandle& before, const std::vector<Setting>& settings);
// Stored and applied by the plug-in (where it gives no reason, qxhost's own); the port read back.
sysapicpp::PropertyBagHandle storePortSettings(IcxSysExpert2& expert, const std::string& name,
                                               const std::string& typed, const sysapicpp::PropertyBagHandle& before,
                                               const std::vector<Setting>& settings);
// 0 without failures; else thrown as HostFailures (each on a line of its own in text, one
// error object in JSON).
int reportFailures(const std::vector<HostError>& failures);

}  // namespace qxhost
