// SPDX-License-Identifier: MIT
// qxhost's command line without the plug-in: what each argument list means, how a refused
// one is told (text or JSON, exit status 2), and the usage text the table makes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "host/CommandLine.h"
#include "host/Runner.h"
#include "platform/qxafa/UniqueFd.h"

namespace {

using qxhost::Options;
using Args = std::vector<std::string>;

struct Captured {
    int status = -1;
    std::string out;
    std::string err;
};

std::string contents(const qxafa::UniqueFd& fd) {
    std::string text;
    char buffer[4096];
    ssize_t n = 0;
    ::lseek(fd.get(), 0, SEEK_SET);
    while ((n = ::read(fd.get(), buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
    return text;
}

// qxhost in this process, with its standard output and error caught. Only for command
// lines that end before the plug-in is loaded.
Captured runInProcess(const Args& args) {
    const qxafa::UniqueFd out(::memfd_create("out", MFD_CLOEXEC));
    const qxafa::UniqueFd err(::memfd_create("err", MFD_CLOEXEC));
    const qxafa::UniqueFd savedOut(::fcntl(1, F_DUPFD_CLOEXEC, 3));
    const qxafa::UniqueFd savedErr(::fcntl(2, F_DUPFD_CLOEXEC, 3));
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(out.get(), 1);
    ::dup2(err.get(), 2);
    Captured run;
    run.status = qxhost::runQxhost(args);
    ::dup2(savedOut.get(), 1);
    ::dup2(savedErr.get(), 2);
    run.out = contents(out);
    run.err = contents(err);
    return run;
}

// The options as a line: the command, then only what differs from the defaults.
std::string described(const Options& o) {
    std::string text = o.command;
    for (const std::string& name : o.names) text += " name=" + name;
    for (const qxhost::Setting& s : o.settings) text += " " + s.key + "=" + std::to_string(s.value);
    if (o.json) text += " json";
    if (o.help) text += " help";
    if (o.dryRun) text += " dry-run";
    if (o.from) text += " from=" + *o.from;
    if (o.all) text += " all";
    if (o.plugin != qxhost::kDefaultPlugin) text += " plugin=" + o.plugin;
    if (o.count) text += " count=" + std::to_string(*o.count);
    if (o.timeout) text += " timeout=" + std::to_string(*o.timeout);
    return text;
}

TEST(CommandLine, AcceptedArgumentListsMeanWhatTheySay) {
    const struct {
        Args args;
        std::string options;
    } cases[] = {
        {{"list"}, "list"},
        {{"--json", "list"}, "list json"},
        {{"--plugin", "/p.so", "show", "a", "b", "--json"}, "show name=a name=b json plugin=/p.so"},
        // Options may stand anywhere; after -- everything is an argument.
        {{"show", "--", "--json", "--help", "-x"}, "show name=--json name=--help name=-x"},
        {{"--", "show", "-"}, "show name=-"},
        {{"set", "/dev/ttyQX561xPort1", "rx=32", "TxFifoDepth=0", "Rs485TransceiverMode=4294967295", "--dry-run"},
         "set name=/dev/ttyQX561xPort1 rx=32 tx=0 mode=4294967295 dry-run"},
        {{"set", "p", "mode=007"}, "set name=p mode=7"},
        {{"set", "--dry-run", "--from", "-"}, "set dry-run from=-"},
        {{"apply", "--all"}, "apply all"},
        {{"apply", "x", "y"}, "apply name=x name=y"},
        {{"watch", "--count", "0", "--timeout", "0.5"}, "watch count=0 timeout=0.500000"},
        {{"watch", "--timeout", "7.", "--count", "999999999999999999"}, "watch count=999999999999999999 timeout=7.000000"},
        {{"watch", "--timeout", "1000000000"}, "watch timeout=1000000000.000000"},
        {{"check", "--plugin", "/unused.so"}, "check plugin=/unused.so"},
    };
    for (const auto& c : cases) {
        Options partial;
        EXPECT_EQ(described(qxhost::parseCommandLine(c.args, partial)), c.options);
    }
}

// Refused before anything is loaded, whatever the plug-in: exit status 2, one line and a
// hint in text, one JSON object with --json wherever it stands.
TEST(CommandLine, RefusedArgumentListsExitTwoWithTheirMessage) {
    const struct {
        Args args;
        std::string message;
    } cases[] = {
        {{"set", "/dev/ttyQX561xPort1", "rx=-1"}, "value of rx must be a number from 0 to 4294967295, got -1"},
        {{"set", "/dev/ttyQX561xPort1", "rx=4294967296"}, "value of rx must be a number from 0 to 4294967295, got 4294967296"},
        {{"set", "p", "tx=12345678901"}, "value of tx must be a number from 0 to 4294967295, got 12345678901"},
        {{"set", "p", "rx="}, "value of rx must be a number from 0 to 4294967295, got \"\""},
        {{"set", "p", "mode= 1"},
         "value of mode must be a mode (off, rx-during-tx, enabled, rts-on-send) or a number from 0 to 4294967295, got \" 1\""},
        {{"set", "/dev/ttyQX561xPort1", "speed=9600"}, "unknown key speed (rx, tx, mode)"},
        {{"set", "p", "rx"}, "expected KEY=VALUE, got rx"},
        {{"set", "/dev/ttyQX561xPort1", "rx=1", "RxFifoDepth=2"}, "RxFifoDepth is given twice"},
        {{"set", "/dev/ttyQX561xPort1"}, "set needs a NAME and at least one KEY=VALUE"},
        // set's arguments are read before the options are matched to the verb.
        {{"set", "--all"}, "set needs a NAME and at least one KEY=VALUE"},
        {{"set", "p", "rx=1", "--count", "1"}, "--count and --timeout belong to watch"},
        {{"list", "extra"}, "list takes no NAME"},
        {{"check", "extra"}, "check takes no NAME"},
        {{"show"}, "show needs at least one NAME"},
        {{"apply"}, "apply needs NAMEs or --all, not both"},
        {{"apply", "--all", "/dev/ttyQX561xPort1"}, "apply needs NAMEs or --all, not both"},
        {{"reset"}, "unknown command reset"},
        {{"\x1b[2J"}, "unknown command \"\\x1b[2J\""},
        {{}, "no command (list, show, set, apply, watch, check)"},
        {{"list", "--count", "1"}, "--count and --timeout belong to watch"},
        {{"check", "--timeout", "1"}, "--count and --timeout belong to watch"},
        {{"list", "--dry-run"}, "--dry-run belongs to set"},
        {{"list", "--from", "rack.json"}, "--from belongs to set"},
        {{"set", "--from", "rack.json", "p", "rx=1"}, "set needs a NAME and at least one KEY=VALUE or --from, not both"},
        {{"set", "--from", ""}, "--from needs a file, or - for standard input"},
        {{"list", "--all", "--dry-run"}, "--dry-run belongs to set"},
        {{"show", "--all"}, "--all belongs to apply"},
        {{"watch", "--count", "x"}, "--count needs a non-negative whole number, got x"},
        {{"watch", "--count", "-1"}, "--count needs a non-negative whole number, got -1"},
        {{"watch", "--count", "1234567890123456789"}, "--count needs a non-negative whole number, got 1234567890123456789"},
        {{"watch", "--timeout", "-1"}, "--timeout needs a non-negative number of seconds, got -1"},
        {{"watch", "--timeout", "1e3"}, "--timeout needs a non-negative number of seconds, got 1e3"},
        {{"watch", "--timeout", "1.2.3"}, "--timeout needs a non-negative number of seconds, got 1.2.3"},
        {{"watch", "--timeout", "."}, "--timeout needs a non-negative number of seconds, got ."},
        {{"watch", "--timeout", "1000000001"}, "--timeout needs a non-negative number of seconds, got 1000000001"},
        {{"list", "--verbose"}, "unknown option --verbose"},
        {{"list", "--plugin"}, "--plugin needs a value"},
        {{"watch", "--count"}, "--count needs a value"},
        {{"--plugin", "", "list"}, "--plugin needs a path"},
    };
    for (const auto& c : cases) {
        Args args{"--plugin", "/nonexistent.so"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Captured r = runInProcess(args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.err, "qxhost: " + c.message + "\nRun 'qxhost --help' for usage.\n");
        EXPECT_EQ(r.out, "");

        args.insert(args.begin(), "--json");
        r = runInProcess(args);
        EXPECT_EQ(r.status, 2) << c.message;
        EXPECT_EQ(r.out, "");
        const bool verbFirst = !c.args.empty() && qxhost::findVerb(c.args[0]);
        const nlohmann::json operation = verbFirst ? nlohmann::json(c.args[0]) : nlohmann::json();
        EXPECT_EQ(nlohmann::json::parse(r.err),
                  (nlohmann::json{{"error", {{"operation", operation}, {"call", "usage"}, {"code", nullptr},
                                             {"symbol", nullptr}, {"message", c.message}, {"name", nullptr}}}}))
            << r.err;
    }
}

TEST(CommandLine, HelpWinsWhereverItStandsBeforeTheEndOfOptions) {
    for (const Args& args : {Args{"--help"}, Args{"set", "--help", "x"}, Args{"show", "-h"},
                             Args{"--plugin", "/nonexistent.so", "reset", "--help"}, Args{"--count", "x", "-h"}}) {
        const Captured r = runInProcess(args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, qxhost::usage());
        EXPECT_EQ(r.err, "");
    }
}

// The synopsis is made from the table; the notes after it are fixed text.
TEST(CommandLine, UsageListsEveryVerbWithItsOptions) {
    const std::string synopsis =
        "usage: qxhost [--plugin PATH] list [--json]\n"
        "       qxhost [--plugin PATH] show NAME... [--json]\n"
        "       qxhost [--plugin PATH] set NAME KEY=VALUE... | --from FILE|- [--dry-run] [--json]\n"
        "       qxhost [--plugin PATH] apply NAME... | --all [--json]\n"
        "       qxhost [--plugin PATH] watch [--count N] [--timeout SECONDS] [--json]\n"
        "       qxhost check [--json]\n"
        "       qxhost --help\n"
        "NAME: ";
    EXPECT_EQ(qxhost::usage().substr(0, synopsis.size()), synopsis);
}

// An entry that names no verb, or a verb without a command, would only show at run time.
TEST(CommandLine, TheTableIsWhole) {
    for (const qxhost::Verb& verb : qxhost::kVerbs)
        EXPECT_NE(verb.run == nullptr, verb.runAlone == nullptr) << verb.name;
    for (const qxhost::Option& option : qxhost::kOptions) {
        const bool ofAVerb = option.role == qxhost::OptionRole::Own || option.role == qxhost::OptionRole::Alternative;
        EXPECT_EQ(option.verb != nullptr, ofAVerb) << option.name;
        EXPECT_TRUE(option.verb == nullptr || qxhost::findVerb(option.verb)) << option.name;
        EXPECT_TRUE(option.take) << option.name;
    }
}

}  // namespace
