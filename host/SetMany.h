// SPDX-License-Identifier: MIT
#pragma once
// set --from: the wanted settings of many ports in one JSON document,
//   {"ports": {"/dev/ttyQX561xPort0": {"rx": 32, "tx": 64, "mode": 3}, ...}}
// read from a file or standard input. The whole document is checked, and every port that
// differs validated by the plug-in, before any port is stored; then each port that differs
// is stored and applied, and those already as wanted are left alone.

#include <cstdint>
#include <optional>
#include <string>

namespace qxhost {

class PluginSession;
struct CommandContext;

int runSetMany(PluginSession& session, const CommandContext& context);

// The number a setting's value names, such as mode "rts-on-send"; nothing for a key without
// names or a name it does not know.
std::optional<uint32_t> settingValueByName(const std::string& key, const std::string& name);

}  // namespace qxhost
