// SPDX-License-Identifier: MIT
#pragma once
// qxhost's command line, checked whole before anything is loaded. One table of verbs and
// options is the grammar: the usage text, the checks, the dispatch and the completion's test
// all read it, so that a new option of a verb is one entry of kOptions.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qxhost {

constexpr char kDefaultPlugin[] = "/usr/lib/x86_64-linux-gnu/qx561x/libqx561xsae.so";

class PluginSession;
struct CommandContext;

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

// What a verb takes besides its options.
enum class Arguments {
    None,           // refused: "list takes no NAME"
    Names,          // NAME...
    NameSettings,   // NAME KEY=VALUE...
};

struct Verb {
    const char* name;
    Arguments arguments;
    const char* synopsis;  // the arguments as the usage shows them
    const char* wants;     // the arguments as a refusal names them ("set needs ...")
    // Exactly one is set: a command on the loaded plug-in, or one that loads none.
    int (*run)(PluginSession& session, const CommandContext& context);
    int (*runAlone)(const CommandContext& context);

    bool loadsPlugin() const { return run != nullptr; }
};

enum class OptionRole {
    Leading,      // shown before the verb of every verb that loads the plug-in (--plugin)
    Trailing,     // shown after every verb (--json)
    Alone,        // a usage line of its own (--help)
    Own,          // one verb's, shown in brackets after its arguments
    Alternative,  // one verb's, in place of its arguments ("NAME... | --all")
};

struct Option {
    const char* name;
    const char* alias;  // a second spelling, or nullptr
    const char* value;  // its value as the usage names it; nullptr for a flag
    OptionRole role;
    const char* verb;   // Own and Alternative: the verb it belongs to
    // Taken wherever it stands before "--", before anything else is checked, so that it
    // holds even for a command line that is refused.
    bool early;
    // Stores the option (with its value) in the options; throws UsageError for a bad value.
    void (*take)(Options& options, const std::string& value);

    bool spelled(const std::string& argument) const;
};

extern const std::vector<Verb> kVerbs;
extern const std::vector<Option> kOptions;

// nullptr for a word that is no verb.
const Verb* findVerb(const std::string& name);
// The options a command line with this verb takes (nullptr: before the verb), in table order.
std::vector<const Option*> optionsOf(const Verb* verb);

// Throws UsageError; `partial` then holds what was understood (json, command), so that the
// error can be reported in the form asked for.
Options parseCommandLine(const std::vector<std::string>& arguments, Options& partial);

const std::string& usage();

// "off, rx-during-tx, enabled, rts-on-send", as refusals list the RS-485 modes.
std::string modeNames();

// The setting a key names, as a Setting holds it (value 0): rx or RxFifoDepth, and so on;
// with `shortOnly` only rx, tx and mode, the keys a listing's ports have. Nothing for a
// key no setting has.
std::optional<Setting> settingNamed(const std::string& key, bool shortOnly);
// What refusals of an unknown key list.
constexpr char kSettingKeys[] = "rx, tx, mode";

}  // namespace qxhost
