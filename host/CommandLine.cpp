// SPDX-License-Identifier: MIT
#include "host/CommandLine.h"

#include <cstdlib>
#include <map>
#include <set>

#include "host/Format.h"
#include "host/HostError.h"
#include "shared/qx561x/PortSettings.h"
#include "sysapicpp/propbag/SerialPropertyBagAccessor.h"

namespace qxhost {

const char kUsage[] =
    "usage: qxhost [--plugin PATH] list [--json]\n"
    "       qxhost [--plugin PATH] show NAME... [--json]\n"
    "       qxhost [--plugin PATH] set NAME KEY=VALUE... [--dry-run] [--json]\n"
    "       qxhost [--plugin PATH] apply NAME... | --all [--json]\n"
    "       qxhost [--plugin PATH] watch [--count N] [--timeout SECONDS] [--json]\n"
    "       qxhost check [--json]\n"
    "       qxhost --help\n"
    "NAME: an item name, a port node (/dev/ttyQX561xPort4), a device-tree path, or a board's\n"
    "PCI address (a board means all its ports to apply). KEY: rx (RxFifoDepth), tx\n"
    "(TxFifoDepth), mode (Rs485TransceiverMode); VALUE: decimal digits, or for mode a mode's\n"
    "name, as qxhost(1) lists them.\n"
    "apply runs qxserialconfig for each port as at boot; check reads the configuration files.\n"
    "Options may stand anywhere; -- ends them.\n"
    "Exit status: 0 success, 1 a plug-in call, a tool run or a check failed, 2 a bad command\n"
    "line, 130 after SIGINT, 143 after SIGTERM.\n";

namespace {

using namespace sysapicpp;

const std::set<std::string> kCommands = {"list", "show", "set", "apply", "watch", "check"};
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
    std::string names;
    for (const qx561x::tRs485Mode& mode : qx561x::kRs485Modes) names += (names.empty() ? "" : ", ") + std::string(mode.name);
    throw UsageError("value of " + key + " must be a mode (" + names + ") or a number from 0 to 4294967295, got " +
                     quoted(text));
}

Setting parseSetting(const std::string& argument) {
    const auto equals = argument.find('=');
    if (equals == std::string::npos) throw UsageError("expected KEY=VALUE, got " + quoted(argument));
    const std::string key = argument.substr(0, equals);
    const std::string text = argument.substr(equals + 1);
    const auto found = settingKeys().find(key);
    if (found == settingKeys().end()) throw UsageError("unknown key " + quoted(key) + " (rx, tx, mode)");
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

void checkCombination(const Options& o) {
    const std::string& c = o.command;
    if (c.empty()) throw UsageError("no command (list, show, set, apply, watch, check)");
    if (o.dryRun && c != "set") throw UsageError("--dry-run belongs to set");
    if (o.all && c != "apply") throw UsageError("--all belongs to apply");
    if ((o.count || o.timeout) && c != "watch") throw UsageError("--count and --timeout belong to watch");
    if ((c == "list" || c == "watch" || c == "check") && !o.names.empty())
        throw UsageError(c + " takes no NAME");
    if (c == "show" && o.names.empty()) throw UsageError("show needs at least one NAME");
    if (c == "apply" && o.all == !o.names.empty()) throw UsageError("apply needs NAMEs or --all, not both");
}

}  // namespace

Options parseCommandLine(const std::vector<std::string>& arguments, Options& partial) {
    partial = Options();
    // --help wins wherever it stands, and --json decides how even a bad command line is told.
    for (const std::string& argument : arguments) {
        if (argument == "--") break;
        if (argument == "--help" || argument == "-h") partial.help = true;
        if (argument == "--json") partial.json = true;
    }
    if (partial.help) return partial;

    Options& o = partial;
    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument[0] != '-') {
            positional.push_back(argument);
            if (o.command.empty()) {
                if (!kCommands.count(argument)) throw UsageError("unknown command " + quoted(argument));
                o.command = argument;
                positional.pop_back();
            }
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--plugin") {
            o.plugin = optionValue(arguments, i);
            if (o.plugin.empty()) throw UsageError("--plugin needs a path");
        } else if (argument == "--json") {
        } else if (argument == "--dry-run") {
            o.dryRun = true;
        } else if (argument == "--all") {
            o.all = true;
        } else if (argument == "--count") {
            o.count = parseCount(optionValue(arguments, i));
        } else if (argument == "--timeout") {
            o.timeout = parseSeconds(optionValue(arguments, i));
        } else {
            throw UsageError("unknown option " + quoted(argument));
        }
    }
    if (o.command == "set") {
        if (positional.size() < 2) throw UsageError("set needs a NAME and at least one KEY=VALUE");
        o.names = {positional[0]};
        std::set<uint32_t> seen;
        for (std::size_t i = 1; i < positional.size(); ++i) {
            o.settings.push_back(parseSetting(positional[i]));
            if (!seen.insert(o.settings.back().tag).second)
                throw UsageError(tagName(o.settings.back().tag, ItemKind::Port) + " is given twice");
        }
    } else {
        o.names = positional;
    }
    checkCombination(o);
    return o;
}

}  // namespace qxhost
