// SPDX-License-Identifier: MIT
#pragma once
// set --from: the wanted settings of many ports in one JSON document,
//   {"ports": {"/dev/ttyQX561xPort0": {"rx": 32, "tx": 64, "mode": 3}, ...}}
// read from a file or standard input. The whole document is checked, and every port that
// differs validated by the plug-in, before any port is stored; then each port that differs
// is stored and applied, and those already as wanted are left alone.

namespace qxhost {

class PluginSession;
struct CommandContext;

int runSetMany(PluginSession& session, const CommandContext& context);


}  // namespace qxhost
