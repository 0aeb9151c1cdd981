// SPDX-License-Identifier: MIT
#pragma once
// qxhost's command line, checked whole before anything is loaded.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qxhost {

constexpr char kDefaultPlugin[] = "/usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so";

// One KEY=VALUE of set.
struct Setting {
    std::string key;  // "rx", "tx" or "mode", whichever spelling was typed
    uint32_t tag = 0;
    uint32_t value = 0;
};

struct Options {
    bool help = false;
    bool json = false;
    std::string plugin = kDefaultPlugin;
    std::string command;               // "" until known
    std::vector<std::string> names;    // NAMEs (set: the one port)
    std::vector<Setting> settings;     // set
    bool dryRun = false;               // set
    std::optional<std::string> from;   // set: a document of many ports' settings, "-" standard input
    bool all = false;                  // apply
    std::optional<int64_t> count;      // watch: stop after this many lines
    std::optional<double> timeout;     // watch: stop after this many seconds
};

// Throws UsageError; `partial` then holds what was understood (json, command), so that the
// error can be reported in the form asked for.
Options parseCommandLine(const std::vector<std::string>& arguments, Options& partial);

extern const char kUsage[];

}  // namespace qxhost
