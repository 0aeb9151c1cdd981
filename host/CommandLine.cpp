// SPDX-License-Identifier: MIT
#include "host/CommandLine.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "host/Commands.h"
#include "host/Format.h"
#include "host/HostError.h"
#include "host/SetMany.h"
#include "shared/qx561x/PortSettings.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"

namespace qxhost {
namespace {

constexpr char kUsageNotes[] =
    "NAME: an item name, a port node (/dev/ttyQX561xPort4), a device-tree path, or a board's\n"
    "PCI address (a board means all its ports to apply). KEY: rx (RxFifoDepth), tx\n"
    "(TxFifoDepth), mode (Rs485TransceiverMode); VALUE: decimal digits, or for mode a mode's\n"
    "name, as qxhost(1) lists them.\n"
    "apply runs qxserialconfig for each port as at boot; check reads the configuration files.\n"
    "Options may stand anywhere; -- ends them.\n"
    "Exit status: 0 success, 1 a plug-in call, a tool run or a check failed, 2 a bad command\n"
    "line, 130 after SIGINT, 143 after SIGTERM.\n";

using namespace sysapicpp;

constexpr double kLongestTimeout = 1e9;  // seconds; longer is "no limit" written oddly

struct KeySpelling {
    const char* key;
    uint32_t tag;
};

const std::map<std::string, KeySpelling>& settingKeys() {
    static const std::map<std::string, KeySpelling> keys = {
        {"rx", {"rx", RxFifoDepth}},       {"RxFifoDepth", {"rx", RxFifoDepth}},
        {"tx", {"tx", TxFifoDepth}},       {"TxFifoDepth", {"tx", TxFifoDepth}},
        {"mode", {"mode", Rs485TransceiverMode}}, {"Rs485TransceiverMode", {"mode", Rs485TransceiverMode}},
    };
    return keys;
}

// A mode by its name; the plug-in judges numbers.
uint32_t namedMode(const std::string& key, const std::string& text) {
    if (const qx561x::tRs485Mode* mode = qx561x::findRs485Mode(text)) return mode->value;
    throw UsageError("value of " + key + " must be a mode (" + modeNames() + ") or a number from 0 to 4294967295, got " +
                     quoted(text));
}

Setting parseSetting(const std::string& argument) {
    const auto equals = argument.find('=');
    if (equals == std::string::npos) throw UsageError("expected KEY=VALUE, got " + quoted(argument));
    const std::string key = argument.substr(0, equals);
    const std::string text = argument.substr(equals + 1);
    const auto found = settingKeys().find(key);
    if (found == settingKeys().end()) throw UsageError("unknown key " + quoted(key) + " (" + kSettingKeys + ")");
    // Digits only: a sign, a blank or a fraction would otherwise be read as something else.
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos ||
        std::stoull(text) > UINT32_MAX) {
        if (found->second.tag != Rs485TransceiverMode)
            throw UsageError("value of " + key + " must be a number from 0 to 4294967295, got " + quoted(text));
        return Setting{found->second.key, found->second.tag, namedMode(key, text)};
    }
    return Setting{found->second.key, found->second.tag, static_cast<uint32_t>(std::stoull(text))};
}

const std::string& optionValue(const std::vector<std::string>& arguments, std::size_t& i) {
    if (i + 1 >= arguments.size()) throw UsageError(arguments[i] + " needs a value");
    return arguments[++i];
}

int64_t parseCount(const std::string& text) {
    if (text.empty() || text.size() > 18 || text.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("--count needs a non-negative whole number, got " + quoted(text));
    return std::stoll(text);
}

// Decimal digits with at most one point: no sign, exponent, blank or "inf".
double parseSeconds(const std::string& text) {
    const bool plain = text.find_first_not_of("0123456789.") == std::string::npos &&
                       text.find_first_of("0123456789") != std::string::npos &&
                       text.find('.') == text.rfind('.');
    const double value = plain ? std::strtod(text.c_str(), nullptr) : -1;
    if (!plain || value > kLongestTimeout)
        throw UsageError("--timeout needs a non-negative number of seconds, got " + quoted(text));
    return value;
}

bool belongsTo(const Option& option, const Verb& verb) {
    return option.verb != nullptr && std::strcmp(option.verb, verb.name) == 0;
}

bool anyOf(const std::vector<const Option*>& options, OptionRole role, const Verb& verb) {
    for (const Option* option : options)
        if (option->role == role && belongsTo(*option, verb)) return true;
    return false;
}

// A verb's options of one role, as a refusal names them: "--count and --timeout".
std::vector<std::string> namesOf(OptionRole role, const Verb& verb) {
    std::vector<std::string> names;
    for (const Option& option : kOptions)
        if (option.role == role && belongsTo(option, verb)) names.push_back(option.name);
    return names;
}

std::string joined(const std::vector<std::string>& words, const char* separator, const char* last) {
    std::string text;
    for (std::size_t i = 0; i < words.size(); ++i)
        text += (i == 0 ? "" : i + 1 == words.size() ? last : separator) + words[i];
    return text;
}

std::string spelling(const Option& option) {
    return option.value ? std::string(option.name) + " " + option.value : option.name;
}

const Option* findOption(const std::string& argument) {
    for (const Option& option : kOptions)
        if (option.spelled(argument)) return &option;
    return nullptr;
}

// Options of other verbs are refused, in the table's order: a verb's own options together,
// as the usage shows them, each alternative to its arguments alone.
void checkBelonging(const Verb& verb, const std::vector<const Option*>& given) {
    for (const Verb& other : kVerbs) {
        if (&other == &verb) continue;
        if (anyOf(given, OptionRole::Own, other)) {
            const std::vector<std::string> own = namesOf(OptionRole::Own, other);
            throw UsageError(joined(own, ", ", " and ") + (own.size() == 1 ? " belongs to " : " belong to ") +
                             other.name);
        }
        for (const Option* option : given)
            if (option->role == OptionRole::Alternative && belongsTo(*option, other))
                throw UsageError(std::string(option->name) + " belongs to " + other.name);
    }
}

// Throws for arguments the verb cannot take; set's are parsed here, before the options are
// checked against the verb.
void takeArguments(const Verb& verb, const std::vector<std::string>& positional, bool alternativeGiven,
                   Options& o) {
    if (verb.arguments != Arguments::NameSettings || alternativeGiven) {
        o.names = positional;
        return;
    }
    if (positional.size() < 2) throw UsageError(std::string(verb.name) + " needs " + verb.wants);
    o.names = {positional[0]};
    std::set<uint32_t> seen;
    for (std::size_t i = 1; i < positional.size(); ++i) {
        o.settings.push_back(parseSetting(positional[i]));
        if (!seen.insert(o.settings.back().tag).second)
            throw UsageError(tagName(o.settings.back().tag, ItemKind::Port) + " is given twice");
    }
}

void checkArguments(const Verb& verb, const std::vector<const Option*>& given, const Options& o) {
    const std::string name = verb.name;
    if (verb.arguments == Arguments::None) {
        if (!o.names.empty()) throw UsageError(name + " takes no NAME");
        return;
    }
    const std::vector<std::string> alternatives = namesOf(OptionRole::Alternative, verb);
    if (alternatives.empty()) {
        if (o.names.empty()) throw UsageError(name + " needs " + verb.wants);
        return;
    }
    if (anyOf(given, OptionRole::Alternative, verb) == !o.names.empty())
        throw UsageError(name + " needs " + verb.wants + " or " + joined(alternatives, " or ", " or ") + ", not both");
}

}  // namespace

const std::vector<Verb> kVerbs = {
    {"list", Arguments::None, "", "", runList, nullptr},
    {"show", Arguments::Names, "NAME...", "at least one NAME", runShow, nullptr},
    {"set", Arguments::NameSettings, "NAME KEY=VALUE...", "a NAME and at least one KEY=VALUE",
     [](PluginSession& session, const CommandContext& context) {
         return context.options.from ? runSetMany(session, context) : runSet(session, context);
     },
     nullptr},
    {"apply", Arguments::Names, "NAME...", "NAMEs", runApply, nullptr},
    {"watch", Arguments::None, "", "", runWatch, nullptr},
    {"check", Arguments::None, "", "", nullptr, runCheck},
};

const std::vector<Option> kOptions = {
    {"--json", nullptr, nullptr, OptionRole::Trailing, nullptr, true,
     [](Options& o, const std::string&) { o.json = true; }},
    {"--plugin", nullptr, "PATH", OptionRole::Leading, nullptr, false,
     [](Options& o, const std::string& path) {
         if (path.empty()) throw UsageError("--plugin needs a path");
         o.plugin = path;
     }},
    {"--help", "-h", nullptr, OptionRole::Alone, nullptr, true,
     [](Options& o, const std::string&) { o.help = true; }},
    {"--dry-run", nullptr, nullptr, OptionRole::Own, "set", false,
     [](Options& o, const std::string&) { o.dryRun = true; }},
    {"--from", nullptr, "FILE|-", OptionRole::Alternative, "set", false,
     [](Options& o, const std::string& file) {
         if (file.empty()) throw UsageError("--from needs a file, or - for standard input");
         o.from = file;
     }},
    {"--all", nullptr, nullptr, OptionRole::Alternative, "apply", false,
     [](Options& o, const std::string&) { o.all = true; }},
    {"--count", nullptr, "N", OptionRole::Own, "watch", false,
     [](Options& o, const std::string& text) { o.count = parseCount(text); }},
    {"--timeout", nullptr, "SECONDS", OptionRole::Own, "watch", false,
     [](Options& o, const std::string& text) { o.timeout = parseSeconds(text); }},
};

bool Option::spelled(const std::string& argument) const {
    return argument == name || (alias != nullptr && argument == alias);
}

const Verb* findVerb(const std::string& name) {
    for (const Verb& verb : kVerbs)
        if (name == verb.name) return &verb;
    return nullptr;
}

std::vector<const Option*> optionsOf(const Verb* verb) {
    std::vector<const Option*> result;
    for (const Option& option : kOptions) {
        const bool taken = option.role == OptionRole::Leading ? verb == nullptr || verb->loadsPlugin()
                           : option.verb != nullptr           ? verb != nullptr && belongsTo(option, *verb)
                                                              : true;
        if (taken) result.push_back(&option);
    }
    return result;
}

std::optional<Setting> settingNamed(const std::string& key, bool shortOnly) {
    const auto found = settingKeys().find(key);
    if (found == settingKeys().end() || (shortOnly && key != found->second.key)) return std::nullopt;
    return Setting{found->second.key, found->second.tag, 0};
}

std::string modeNames() {
    std::string names;
    for (const qx561x::tRs485Mode& mode : qx561x::kRs485Modes) names += (names.empty() ? "" : ", ") + std::string(mode.name);
    return names;
}

const std::string& usage() {
    static const std::string text = [] {
        std::vector<std::string> lines;
        for (const Verb& verb : kVerbs) {
            std::string line = "qxhost ";
            for (const Option& option : kOptions)
                if (option.role == OptionRole::Leading && verb.loadsPlugin()) line += "[" + spelling(option) + "] ";
            line += verb.name;
            if (*verb.synopsis) line += std::string(" ") + verb.synopsis;
            for (OptionRole role : {OptionRole::Alternative, OptionRole::Own})
                for (const Option& option : kOptions)
                    if (option.role == role && belongsTo(option, verb))
                        line += role == OptionRole::Own ? " [" + spelling(option) + "]" : " | " + spelling(option);
            for (const Option& option : kOptions)
                if (option.role == OptionRole::Trailing) line += " [" + spelling(option) + "]";
            lines.push_back(line);
        }
        for (const Option& option : kOptions)
            if (option.role == OptionRole::Alone) lines.push_back("qxhost " + spelling(option));
        return "usage: " + joined(lines, "\n       ", "\n       ") + "\n" + kUsageNotes;
    }();
    return text;
}

Options parseCommandLine(const std::vector<std::string>& arguments, Options& partial) {
    partial = Options();
    // --help wins wherever it stands, and --json decides how even a bad command line is told.
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        const Option* option = findOption(argument);
        if (option && option->early) option->take(partial, "");
    }
    if (partial.help) return partial;

    Options& o = partial;
    const Verb* verb = nullptr;
    std::vector<std::string> positional;
    std::vector<const Option*> given;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            if (verb) {
                positional.push_back(argument);
                continue;
            }
            verb = findVerb(argument);
            if (!verb) throw UsageError("unknown command " + quoted(argument));
            o.command = argument;
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (const Option* option = findOption(argument)) {
            const std::string value = option->value ? optionValue(arguments, i) : std::string();
            if (!option->early) option->take(o, value);
            given.push_back(option);
        } else {
            throw UsageError("unknown option " + quoted(argument));
        }
    }
    if (!verb) {
        std::vector<std::string> names;
        for (const Verb& each : kVerbs) names.push_back(each.name);
        throw UsageError("no command (" + joined(names, ", ", ", ") + ")");
    }
    takeArguments(*verb, positional, anyOf(given, OptionRole::Alternative, *verb), o);
    checkBelonging(*verb, given);
    checkArguments(*verb, given, o);
    return o;
}

}  // namespace qxhost
